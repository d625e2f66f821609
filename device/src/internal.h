/* The library is compiled as one translation unit (library.c): every function its files share is declared
   FOTA_INTERNAL, static there, so that the archive's external names are the API's alone. */
#ifndef FOTA_INTERNAL_H
#define FOTA_INTERNAL_H

#define FOTA_INTERNAL static

#endif

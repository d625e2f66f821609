/* libelf's messages stay in English: no translations are shipped. */
#define dgettext(domain, text) ((void)(domain), (const char *)(text))

// Whether this test binary runs under AddressSanitizer, whose shadow memory
// makes address-space limits and resident-memory figures meaningless.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define QUARNEL_TESTS_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUARNEL_TESTS_UNDER_ASAN 1
#endif
#endif

namespace testsupport {

#ifdef QUARNEL_TESTS_UNDER_ASAN
constexpr bool underAddressSanitizer = true;
#else
constexpr bool underAddressSanitizer = false;
#endif

} // namespace testsupport

#pragma once
// Who we are, in one place: version, vendor address, rights notice.
// The vendor's real web address is not known yet; the placeholder is under
// the reserved .example domain so that it can never reach anyone.

#define QM_VERSION_MAJOR 1
#define QM_VERSION_MINOR 0
#define QM_VERSION_PATCH 0
#define QM_VERSION_TEXT "1.0.0"
#define QM_VENDOR_HOST "quillomat.example"

#ifdef __cplusplus
inline constexpr wchar_t kProductName[] = L"Quillomat";
inline constexpr wchar_t kProductVersion[] = L"" QM_VERSION_TEXT;
inline constexpr wchar_t kVendorHost[] = L"" QM_VENDOR_HOST;
#endif

#pragma once
// Who we are, in one place: the product's name (no other place in the code
// spells it), version and vendor address.
// The vendor's real web address is not known yet; the placeholder is under
// the reserved .example domain so that it can never reach anyone.

// A build may give the three numbers instead (CMake's QM_VERSION), as the
// tests' build of a newer version does.
#ifndef QM_VERSION_MAJOR
#define QM_VERSION_MAJOR 1
#define QM_VERSION_MINOR 0
#define QM_VERSION_PATCH 0
#endif
#define QM_STRINGIFY_(x) #x
#define QM_STRINGIFY(x) QM_STRINGIFY_(x)
#define QM_VERSION_TEXT QM_STRINGIFY(QM_VERSION_MAJOR.QM_VERSION_MINOR.QM_VERSION_PATCH)
#define QM_PRODUCT_NAME "Quillomat"
#define QM_VENDOR_HOST "quillomat.example"

#ifdef __cplusplus
inline constexpr wchar_t kProductName[] = L"" QM_PRODUCT_NAME;
inline constexpr wchar_t kProductVersion[] = L"" QM_VERSION_TEXT;
inline constexpr wchar_t kVendorHost[] = L"" QM_VENDOR_HOST;
#endif

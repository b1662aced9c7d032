#include "update/InstallerTrust.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "common/Win32Handles.h"
#include "update/ProgramImage.h"
#include "update/Version.h"

namespace {

namespace detail {
inline void FreeCertificate(PCCERT_CONTEXT certificate) noexcept { CertFreeCertificateContext(certificate); }
}  // namespace detail
using unique_certificate =
    unique_handle<NullInvalidTraits<PCCERT_CONTEXT, void (*)(PCCERT_CONTEXT) noexcept, &detail::FreeCertificate>>;

struct Signature {
  LONG status = TRUST_E_NOSIGNATURE;  // WinVerifyTrust's verdict on the file
  unique_certificate signer;          // the signing certificate, when one was read
  unique_certificate issuer;          // the certificate that issued it, in the chain built
};

// Verifies the file's signature and its chain, never asking the user, and
// reads the certificate it was signed with.
Signature ReadSignature(const wchar_t* path, HANDLE file) {
  WINTRUST_FILE_INFO fileInfo{};
  fileInfo.cbStruct = sizeof(fileInfo);
  fileInfo.pcwszFilePath = path;
  fileInfo.hFile = file;
  WINTRUST_DATA data{};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &fileInfo;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const auto noWindow = static_cast<HWND>(INVALID_HANDLE_VALUE);

  Signature signature;
  signature.status = WinVerifyTrust(noWindow, &action, &data);
  if (CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data.hWVTStateData)) {
    if (CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0)) {
      if (CRYPT_PROVIDER_CERT* certificate = WTHelperGetProvCertFromChain(signer, 0)) {
        signature.signer.reset(CertDuplicateCertificateContext(certificate->pCert));
      }
      if (CRYPT_PROVIDER_CERT* certificate = WTHelperGetProvCertFromChain(signer, 1)) {
        signature.issuer.reset(CertDuplicateCertificateContext(certificate->pCert));
      }
    }
  }
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(noWindow, &action, &data);
  return signature;
}

bool SameName(PCCERT_CONTEXT a, PCCERT_CONTEXT b) {
  return CertCompareCertificateName(X509_ASN_ENCODING, &a->pCertInfo->Subject, &b->pCertInfo->Subject) != FALSE;
}

// One publisher: the same name, certified by the same authority (the same
// issuing certificate, by its name and key). The publisher's own key is not
// compared: it changes whenever its certificate is renewed, and every copy
// in use would refuse every later update.
bool SamePublisher(const Signature& program, const Signature& setup) {
  return program.issuer && setup.signer && setup.issuer && SameName(program.signer.get(), setup.signer.get()) &&
         SameName(program.issuer.get(), setup.issuer.get()) &&
         CertComparePublicKeyInfo(X509_ASN_ENCODING, &program.issuer.get()->pCertInfo->SubjectPublicKeyInfo,
                                  &setup.issuer.get()->pCertInfo->SubjectPublicKeyInfo);
}

// The installer's own version resource names the offered version: an older
// installer, validly signed once, is not taken for a newer one.
bool CarriesVersion(const wchar_t* path, const std::wstring& offered) {
  const std::optional<uint64_t> expected = PackedVersion(offered);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (!expected || size == 0) return false;
  std::vector<unsigned char> data(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoW(path, 0, size, data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
      length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != VS_FFI_SIGNATURE) {
    return false;
  }
  return (static_cast<uint64_t>(fixed->dwProductVersionMS) << 32 | fixed->dwProductVersionLS) == *expected;
}

// A development build carries no signature at all: the running image has no
// certificate table. Asked of the image in memory, whose headers are in its
// first page, never of the file: the file at the program's path may have been
// renamed or replaced since the start, and a signature that cannot be read
// there must not pass for none.
bool RunningProgramIsUnsigned() {
  return HasNoCertificateTable(reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr)), 4096);
}

}  // namespace

bool InstallerMayStart(const wchar_t* programPath, const wchar_t* installerPath, HANDLE installer,
                       const std::wstring& offeredVersion) {
  if (RunningProgramIsUnsigned()) return true;
  const Signature program = ReadSignature(programPath, nullptr);
  // Signed, but its signer cannot be read: nothing to compare with.
  if (!program.signer) return false;
  const Signature setup = ReadSignature(installerPath, installer);
  return setup.status == ERROR_SUCCESS && SamePublisher(program, setup) && CarriesVersion(installerPath, offeredVersion);
}

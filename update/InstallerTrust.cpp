#include "update/InstallerTrust.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include "common/Win32Handles.h"

namespace {

namespace detail {
inline void FreeCertificate(PCCERT_CONTEXT certificate) noexcept { CertFreeCertificateContext(certificate); }
}  // namespace detail
using unique_certificate =
    unique_handle<NullInvalidTraits<PCCERT_CONTEXT, void (*)(PCCERT_CONTEXT) noexcept, &detail::FreeCertificate>>;

struct Signature {
  LONG status = TRUST_E_NOSIGNATURE;  // WinVerifyTrust's verdict on the file
  unique_certificate signer;          // the signing certificate, when one was read
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
    }
  }
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(noWindow, &action, &data);
  return signature;
}

// One publisher: the same subject name and the same public key.
bool SamePublisher(PCCERT_CONTEXT a, PCCERT_CONTEXT b) {
  return CertCompareCertificateName(X509_ASN_ENCODING, &a->pCertInfo->Subject, &b->pCertInfo->Subject) &&
         CertComparePublicKeyInfo(X509_ASN_ENCODING, &a->pCertInfo->SubjectPublicKeyInfo,
                                  &b->pCertInfo->SubjectPublicKeyInfo);
}

}  // namespace

bool InstallerMayStart(const wchar_t* programPath, const wchar_t* installerPath, HANDLE installer) {
  const Signature program = ReadSignature(programPath, nullptr);
  if (program.status == TRUST_E_NOSIGNATURE) return true;
  // Signed, but its signer cannot be read: nothing to compare with.
  if (!program.signer) return false;
  const Signature setup = ReadSignature(installerPath, installer);
  return setup.status == ERROR_SUCCESS && setup.signer && SamePublisher(program.signer.get(), setup.signer.get());
}

#include "desktop/launcher/installer/package_fetcher/signature_checker.h"

// clang-format off
#include <windows.h>
#include <wincrypt.h>
#include <softpub.h>
#include <wintrust.h>
// clang-format on

#include <memory>
#include <vector>

#include "base/files/memory_mapped_file.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/launcher/installer/package_fetcher/pe_certificate_table.h"

namespace vexlo {
namespace installer {

namespace {

TrustDecision g_trust_decision_for_testing = nullptr;

struct StoreCloser {
  void operator()(void* store) const { CertCloseStore(store, 0); }
};
struct MessageCloser {
  void operator()(void* message) const { CryptMsgClose(message); }
};
struct CertificateFreer {
  void operator()(const CERT_CONTEXT* certificate) const {
    CertFreeCertificateContext(certificate);
  }
};
struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};

using ScopedStore = std::unique_ptr<void, StoreCloser>;
using ScopedMessage = std::unique_ptr<void, MessageCloser>;
using ScopedCertificate = std::unique_ptr<const CERT_CONTEXT, CertificateFreer>;
using ScopedLocalMemory = std::unique_ptr<void, LocalFreer>;

// The signer information of the file's embedded PKCS #7 message, with the
// store that holds its certificates.
bool QuerySigner(const base::FilePath& path,
                 ScopedStore* store,
                 ScopedMessage* message,
                 ScopedLocalMemory* signer_info) {
  DWORD encoding = 0, content_type = 0, format_type = 0;
  HCERTSTORE raw_store = nullptr;
  HCRYPTMSG raw_message = nullptr;
  if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.value().c_str(),
                        CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                        CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding,
                        &content_type, &format_type, &raw_store, &raw_message,
                        nullptr)) {
    return false;
  }
  store->reset(raw_store);
  message->reset(raw_message);
  DWORD size = 0;
  if (!CryptMsgGetParam(raw_message, CMSG_SIGNER_INFO_PARAM, 0, nullptr,
                        &size) ||
      size == 0) {
    return false;
  }
  signer_info->reset(LocalAlloc(LPTR, size));
  return *signer_info && CryptMsgGetParam(raw_message, CMSG_SIGNER_INFO_PARAM,
                                          0, signer_info->get(), &size);
}

}  // namespace

bool IsFileSigned(const base::FilePath& path, bool* is_signed) {
  base::MemoryMappedFile file;
  PECertificateTable table;
  if (!file.Initialize(path) || !HasPESignatures(file.data(), file.length()) ||
      !ReadPECertificateTable(file.data(), file.length(), &table)) {
    return false;
  }
  *is_signed = table.size != 0;
  return true;
}

bool IsTrustedByWindows(const base::FilePath& path) {
  WINTRUST_FILE_INFO file_info = {};
  file_info.cbStruct = sizeof(file_info);
  file_info.pcwszFilePath = path.value().c_str();
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file_info;
  data.dwStateAction = 0;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  return WinVerifyTrust(nullptr, &action, &data) == 0;
}

bool ReadSignerName(const base::FilePath& path, base::string16* name) {
  ScopedStore store;
  ScopedMessage message;
  ScopedLocalMemory signer_memory;
  if (!QuerySigner(path, &store, &message, &signer_memory))
    return false;
  const auto* signer =
      static_cast<const CMSG_SIGNER_INFO*>(signer_memory.get());
  CERT_INFO subject = {};
  subject.Issuer = signer->Issuer;
  subject.SerialNumber = signer->SerialNumber;
  ScopedCertificate certificate(CertFindCertificateInStore(
      store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
      CERT_FIND_SUBJECT_CERT, &subject, nullptr));
  if (!certificate)
    return false;
  const DWORD length = CertGetNameStringW(
      certificate.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
  if (length == 0)
    return false;
  std::vector<wchar_t> buffer(length);
  const DWORD written =
      CertGetNameStringW(certificate.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, 0,
                         nullptr, buffer.data(), length);
  if (written == 0 || written > length)
    return false;
  // The whole name by its length: a name may hold a NUL, and the part
  // before it must not pass for the name.
  name->assign(buffer.data(), written - 1);
  return true;
}

bool VerifySigner(const base::FilePath& path) {
  const TrustDecision trusted = g_trust_decision_for_testing
                                    ? g_trust_decision_for_testing
                                    : &IsTrustedByWindows;
  if (!trusted(path))
    return false;
  base::string16 name;
  return ReadSignerName(path, &name) &&
         name == base::UTF8ToUTF16(ProductConfiguration::GetExpectedSigner());
}

void SetTrustDecisionForTesting(TrustDecision decision) {
  g_trust_decision_for_testing = decision;
}

}  // namespace installer
}  // namespace vexlo

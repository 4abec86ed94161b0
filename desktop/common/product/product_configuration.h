#ifndef DESKTOP_COMMON_PRODUCT_PRODUCT_CONFIGURATION_H_
#define DESKTOP_COMMON_PRODUCT_PRODUCT_CONFIGURATION_H_

#include <memory>
#include <string>

#include "base/strings/string_piece.h"

namespace base {
class DictionaryValue;
}

namespace vexlo {

// What makes one branded build differ from another: names, the expected
// code signer, server addresses and a few switches. It is a JSON object that
// the host executable carries as text resource 133 of type "TXT"; it is read
// once per process, on first use, and kept until the process ends.
//
// A key that is missing or holds a value of another type answers the
// accessor's default: an empty string, 0 or false.
class ProductConfiguration {
 public:
  ProductConfiguration() = delete;

  static std::string GetCompanyName();
  static std::string GetCrashLogProductSuffix();
  // A relative path holding the placeholder "{InternalStream}".
  static std::string GetDefaultProfilePathTemplate();
  static std::string GetDomain();
  // The code-signing subject a downloaded package must carry.
  static std::string GetExpectedSigner();
  // The stem of the product's executable name, without ".exe".
  static std::string GetFileNameBase();
  // Added to the base major version.
  static int GetMajorDelta();
  static std::string GetProductName();
  static std::string GetShortcutSuffix();
  static bool ShouldScheduleAutoupdateTask();
  // The entry |name| of the "urls" object.
  static std::string GetUrl(const std::string& name);
  static bool ShouldUseTuvreniumMajorForMinor();
  // The product's three-letter token.
  static std::string GetUserAgentName();
  static std::string GetVisibleProductName();
  static bool IsWhiteLabeled();

  // The raw document: resource 133 of type "TXT" of the executable, else of
  // the automated-test library when one is loadable; empty when neither
  // carries it.
  static std::string ReadResourceText();

  // The document |text| as a dictionary. Text that is not a JSON object
  // gives an empty dictionary, so that every accessor answers its default.
  static std::unique_ptr<base::DictionaryValue> Parse(base::StringPiece text);

  // Reads and parses the resource into the process-wide slot, which is
  // emptied at process exit.
  static void Load();

  // The process-wide document, loaded on the first call. Never null. The
  // first call is not guarded by a lock: make it on the main thread before
  // other threads read the configuration.
  static const base::DictionaryValue* GetDictionary();

  // Puts |dictionary| in place of the process-wide document (null forgets it,
  // so that the next query loads the resource) and returns the previous one.
  static std::unique_ptr<base::DictionaryValue> SwapDictionaryForTesting(
      std::unique_ptr<base::DictionaryValue> dictionary);
};

}  // namespace vexlo

#endif  // DESKTOP_COMMON_PRODUCT_PRODUCT_CONFIGURATION_H_

#include "desktop/launcher/installer/service/test/fake_default_app_services.h"

#include "base/strings/utf_string_conversions.h"

namespace vexlo {
namespace installer {

namespace {

const char* AssociationName(DefaultAppServices::Association association) {
  switch (association) {
    case DefaultAppServices::kFileExtension:
      return "extension";
    case DefaultAppServices::kUrlProtocol:
      return "protocol";
    case DefaultAppServices::kStartMenuClient:
      break;
  }
  return "startmenu";
}

}  // namespace

FakeDefaultAppServices::FakeDefaultAppServices()
    : previous_(DefaultAppServices::SetForTesting(this)) {}

FakeDefaultAppServices::~FakeDefaultAppServices() {
  DefaultAppServices::SetForTesting(previous_);
}

bool FakeDefaultAppServices::SetAppAsDefault(const base::string16& app_name,
                                             const base::string16& target,
                                             Association association) {
  calls_.push_back("SetAppAsDefault(" + base::UTF16ToUTF8(app_name) + "," +
                   base::UTF16ToUTF8(target) + "," +
                   AssociationName(association) + ")");
  return !fail;
}

bool FakeDefaultAppServices::QueryAppIsDefault(const base::string16& target,
                                               Association association,
                                               const base::string16& app_name) {
  calls_.push_back("QueryAppIsDefault(" + base::UTF16ToUTF8(target) + "," +
                   AssociationName(association) + "," +
                   base::UTF16ToUTF8(app_name) + ")");
  return !fail && defaults.count(target) != 0;
}

bool FakeDefaultAppServices::ShowOpenWithDialog(const base::string16& target) {
  calls_.push_back("ShowOpenWithDialog(" + base::UTF16ToUTF8(target) + ")");
  return !fail;
}

void FakeDefaultAppServices::NotifyAssociationsChanged() {
  calls_.push_back("NotifyAssociationsChanged");
}

bool FakeDefaultAppServices::OpenDefaultAppsSettings() {
  calls_.push_back("OpenDefaultAppsSettings");
  return !fail;
}

}  // namespace installer
}  // namespace vexlo

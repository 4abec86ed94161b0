#include "desktop/launcher/installer/ipc/installer_message.h"

#include <utility>

#include "base/logging.h"
#include "base/strings/string_piece.h"

namespace vexlo {
namespace installer {

namespace {

constexpr char kMagic[] = ":Installer message:";

// The bytes a pickle field of |length| bytes takes, its padding included.
size_t FieldSize(size_t length) {
  return (length + 3) & ~static_cast<size_t>(3);
}

// Header, magic, type and error code, and the two text lengths.
constexpr size_t kFailureMessageFixedSize =
    4 + 4 + ((sizeof(kMagic) - 1 + 3) & ~3u) + 4 + 4 + 4 + 4;

bool IsUtf16TrailSurrogate(wchar_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

bool IsUtf8ContinuationByte(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// |text| cut to at most |max_units| units, never between the halves of a
// surrogate pair.
base::string16 CutWide(const base::string16& text, size_t max_units) {
  if (text.size() <= max_units)
    return text;
  size_t length = max_units;
  if (length > 0 && IsUtf16TrailSurrogate(text[length]))
    --length;
  return text.substr(0, length);
}

// |text| cut to at most |max_bytes| bytes, never inside a UTF-8 sequence.
std::string CutNarrow(const std::string& text, size_t max_bytes) {
  if (text.size() <= max_bytes)
    return text;
  size_t length = max_bytes;
  while (length > 0 && IsUtf8ContinuationByte(text[length]))
    --length;
  return text.substr(0, length);
}

}  // namespace

std::unique_ptr<base::Pickle> CreateInstallerMessage(int32_t type) {
  std::unique_ptr<base::Pickle> message(new base::Pickle);
  message->WriteString(kMagic);
  message->Write4Bytes(static_cast<uint32_t>(type));
  return message;
}

bool DispatchInstallerMessage(
    const base::Pickle& message,
    base::ObserverList<InstallerObserver>* observers) {
  base::PickleIterator iterator(message);
  std::string magic;
  if (!iterator.ReadString(&magic) || magic != kMagic)
    return false;
  int type = 0;
  if (!iterator.ReadInt(&type))
    return false;
  switch (type) {
    case kSubprocessStartingMessage: {
      bool flag = false;
      if (!iterator.ReadBool(&flag))
        return false;
      observers->Notify(&InstallerObserver::OnSubprocessStarting, flag);
      return true;
    }
    case kSubprocessFinishedMessage:
      observers->Notify(&InstallerObserver::OnSubprocessFinished);
      return true;
    case kInstallationStartedMessage:
      observers->Notify(&InstallerObserver::OnInstallationStarted);
      return true;
    case kSetTotalStepsMessage: {
      int steps = 0;
      if (!iterator.ReadInt(&steps))
        return false;
      observers->Notify(&InstallerObserver::SetTotalSteps,
                        static_cast<int32_t>(steps));
      return true;
    }
    case kNextStepMessage:
      observers->Notify(&InstallerObserver::OnNextStep);
      return true;
    case kInstallationFailedMessage: {
      int error_code = 0;
      base::string16 text;
      std::string detail;
      if (!iterator.ReadInt(&error_code) || !iterator.ReadString16(&text) ||
          !iterator.ReadString(&detail)) {
        return false;
      }
      observers->Notify(&InstallerObserver::OnInstallationFailed,
                        static_cast<int32_t>(error_code), text, detail);
      return true;
    }
    case kInstallationSucceededMessage:
      observers->Notify(&InstallerObserver::OnInstallationSucceeded);
      return true;
    default:
      LOG(ERROR) << "Not a valid installer message type";
      return false;
  }
}

void InstallerMessageEncoder::OnInstallationStarted() {
  SendEmptyMessage(kInstallationStartedMessage);
}

void InstallerMessageEncoder::OnSubprocessStarting(bool flag) {
  std::unique_ptr<base::Pickle> message =
      CreateInstallerMessage(kSubprocessStartingMessage);
  message->Write4Bytes(flag ? 1 : 0);
  SendMessage(std::move(message));
}

void InstallerMessageEncoder::OnSubprocessFinished() {
  SendEmptyMessage(kSubprocessFinishedMessage);
}

void InstallerMessageEncoder::SetTotalSteps(int32_t steps) {
  std::unique_ptr<base::Pickle> message =
      CreateInstallerMessage(kSetTotalStepsMessage);
  message->Write4Bytes(static_cast<uint32_t>(steps));
  SendMessage(std::move(message));
}

void InstallerMessageEncoder::OnNextStep() {
  SendEmptyMessage(kNextStepMessage);
}

void InstallerMessageEncoder::OnInstallationFailed(int32_t error_code,
                                                   const base::string16& text,
                                                   const std::string& detail) {
  // A datagram over the limit would never arrive, and the front end would
  // never learn that the installation failed. The user's text is cut first,
  // then the detail.
  constexpr size_t kRoom = kMaxInstallerMessageSize - kFailureMessageFixedSize;
  const size_t detail_size = FieldSize(detail.size());
  const base::string16 sent_text =
      CutWide(text, detail_size < kRoom ? (kRoom - detail_size) / 2 : 0);
  const std::string sent_detail =
      CutNarrow(detail, kRoom - FieldSize(sent_text.size() * 2));
  if (sent_text.size() != text.size() || sent_detail.size() != detail.size())
    LOG(WARNING) << "Failure texts cut to fit one installer message";

  std::unique_ptr<base::Pickle> message =
      CreateInstallerMessage(kInstallationFailedMessage);
  message->Write4Bytes(static_cast<uint32_t>(error_code));
  message->WriteString16(sent_text);
  message->WriteString(sent_detail);
  SendMessage(std::move(message));
}

void InstallerMessageEncoder::OnInstallationSucceeded() {
  SendEmptyMessage(kInstallationSucceededMessage);
}

void InstallerMessageEncoder::OnInstallerTerminated(bool /* success */) {}

void InstallerMessageEncoder::SendEmptyMessage(int32_t type) {
  SendMessage(CreateInstallerMessage(type));
}

}  // namespace installer
}  // namespace vexlo

#include "desktop/common/autoupdate/updatechecker/global_storage.h"

namespace vexlo {
namespace autoupdate {

void GlobalStorage::Initialize(const base::FilePath& /*folder*/) {}

GlobalStorage::~GlobalStorage() = default;

}  // namespace autoupdate
}  // namespace vexlo

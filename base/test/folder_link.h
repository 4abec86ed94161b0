#ifndef BASE_TEST_FOLDER_LINK_H_
#define BASE_TEST_FOLDER_LINK_H_

#include "base/files/file_path.h"

namespace base {

// Makes |link|, a new name, a real link to the existing folder |target|:
// on Windows a folder symbolic link, or a junction where symbolic links
// need rights the test lacks; under Wine, whose symbolic link call makes
// nothing, a host symbolic link (which Wine shows as a link to a folder).
// Returns once the link is there.
bool MakeFolderLink(const FilePath& link, const FilePath& target);

}  // namespace base

#endif  // BASE_TEST_FOLDER_LINK_H_

#ifndef DESKTOP_LAUNCHER_INSTALLER_UI_RICH_TEXT_LINKS_H_
#define DESKTOP_LAUNCHER_INSTALLER_UI_RICH_TEXT_LINKS_H_

#include <stddef.h>

#include <string>
#include <vector>

#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

// Localised texts mark links as <a href="target">label</a>. A rich edit
// control shows them as hyperlink fields: the text first gets placeholders
// ("$1" target "$2" label "$3"), is put into the control and streamed out
// as RTF, and the placeholders become the field's RTF there.
//
// A link that is cut short (no closing quote, no '>' or no "</a>") is not a
// link: it and everything after it stay as they are.

// |text| with each link rewritten into placeholders.
base::string16 RewriteLinks(const base::string16& text);

// One link of a text whose links were reduced to their labels.
struct TextLink {
  base::string16 target;
  // Where the label is in the reduced text.
  size_t start;
  size_t length;
};

// |text| with each link reduced to its label; the links go to |links|.
// For controls that do not keep hyperlink fields, which mark the labels
// instead.
base::string16 ReduceLinksToLabels(const base::string16& text,
                                   std::vector<TextLink>* links);

// |rtf| with the placeholders replaced by the hyperlink field's RTF; with
// |line_break_first|, each field starts on a new line.
std::string ReplaceLinkPlaceholders(const std::string& rtf,
                                    bool line_break_first);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_UI_RICH_TEXT_LINKS_H_

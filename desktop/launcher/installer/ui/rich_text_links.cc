#include "desktop/launcher/installer/ui/rich_text_links.h"

#include "base/strings/string_util.h"

namespace vexlo {
namespace installer {
namespace {

// One well-formed link of a text: [start, end) is the whole markup.
struct LinkMarkup {
  size_t start;
  size_t end;
  base::string16 target;
  base::string16 label;
};

// The first well-formed link at or after |from|; false when there is none.
bool FindLink(const base::string16& text, size_t from, LinkMarkup* link) {
  static const wchar_t kHref[] = L"href=\"";
  static const wchar_t kEnd[] = L"</a>";
  const size_t start = text.find(L"<a ", from);
  if (start == base::string16::npos)
    return false;
  const size_t href = text.find(kHref, start);
  if (href == base::string16::npos)
    return false;
  const size_t target = href + (sizeof(kHref) / sizeof(kHref[0]) - 1);
  const size_t quote = text.find(L'"', target);
  if (quote == base::string16::npos)
    return false;
  const size_t label = text.find(L'>', quote);
  if (label == base::string16::npos)
    return false;
  const size_t end = text.find(kEnd, label);
  if (end == base::string16::npos)
    return false;
  link->start = start;
  link->end = end + (sizeof(kEnd) / sizeof(kEnd[0]) - 1);
  link->target = text.substr(target, quote - target);
  link->label = text.substr(label + 1, end - label - 1);
  return true;
}

}  // namespace

base::string16 RewriteLinks(const base::string16& text) {
  base::string16 result;
  size_t copied = 0;
  LinkMarkup link;
  while (FindLink(text, copied, &link)) {
    result.append(text, copied, link.start - copied);
    result += L"$1" + link.target + L"$2" + link.label + L"$3";
    copied = link.end;
  }
  return result.append(text, copied, base::string16::npos);
}

base::string16 ReduceLinksToLabels(const base::string16& text,
                                   std::vector<TextLink>* links) {
  base::string16 result;
  size_t copied = 0;
  LinkMarkup link;
  while (FindLink(text, copied, &link)) {
    result.append(text, copied, link.start - copied);
    links->push_back({link.target, result.size(), link.label.size()});
    result += link.label;
    copied = link.end;
  }
  return result.append(text, copied, base::string16::npos);
}

std::string ReplaceLinkPlaceholders(const std::string& rtf,
                                    bool line_break_first) {
  std::string result = rtf;
  const std::string field_start =
      std::string(line_break_first ? "\\line" : "") +
      "{\\field{\\*\\fldinst{HYPERLINK \"";
  base::ReplaceSubstringsAfterOffset(&result, 0, "$1", field_start);
  base::ReplaceSubstringsAfterOffset(&result, 0, "$2", "\"}}{\\fldrslt{\\ul ");
  base::ReplaceSubstringsAfterOffset(&result, 0, "$3", "}}}");
  return result;
}

}  // namespace installer
}  // namespace vexlo

#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_XML_DOCUMENT_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_XML_DOCUMENT_H_

#include <msxml2.h>

#include <string>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "base/strings/string_piece.h"
#include "base/win/scoped_comptr.h"

namespace vexlo {
namespace installer {

// One XML document held as a DOM document, with a cursor that a writer
// moves down as it opens elements and up as it closes them, and a reader as
// it walks the elements. Before the first element the cursor is the
// document node. Needs COM on the calling thread; used on one thread.
class XmlDocument {
 public:
  // What a step of the reader found.
  enum class Move { kFound, kNone, kError };

  XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;
  ~XmlDocument();

  // Creates an empty document, loaded synchronously and neither validated
  // nor resolving external entities. The cursor is then the document node.
  bool Initialize();

  // Replaces the document with the one in |file|; the cursor is then the
  // document node. False when the file is missing or not well-formed.
  bool Load(const base::FilePath& file);

  // Writer. Texts are UTF-8.
  bool OpenElement(base::StringPiece name);
  bool SetAttribute(base::StringPiece name, base::StringPiece value);
  bool SetText(base::StringPiece value);
  // Moves the cursor to the parent element; false at the top element.
  bool CloseElement();

  // The whole document: the declaration line, then each element on a line
  // of its own, indented by one blank per level; an element that holds only
  // text keeps it on its line, an empty one closes itself. Lines end in a
  // line feed, the last one too. Tabs and carriage returns in texts are
  // written as character references so that a reader gets them back.
  bool SaveToString(std::string* text) const;

  // Reader. Each step skips nodes that are not elements; the cursor moves
  // only when an element is found.
  Move MoveToFirstChildElement();
  Move MoveToNextSiblingElement();
  Move MoveToParentElement();
  // The name of the cursor's node.
  base::string16 GetNodeName() const;
  // All text of the cursor's element, exactly as written.
  base::string16 GetNodeText() const;
  // False when the cursor's element has no attribute |name|.
  bool GetAttribute(base::StringPiece name, base::string16* value) const;

 private:
  // Takes |step| from the cursor, then on to the first element among the
  // node reached and its following siblings.
  Move MoveAlong(HRESULT (STDMETHODCALLTYPE IXMLDOMNode::*step)(IXMLDOMNode**));

  base::win::ScopedComPtr<IXMLDOMDocument2> document_;
  base::win::ScopedComPtr<IXMLDOMNode> cursor_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_XML_DOCUMENT_H_

#include "desktop/launcher/installer/service/xml_document.h"

#include <objbase.h>
#include <oleauto.h>

#include <utility>

#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_variant.h"
#include "desktop/launcher/installer/service/msxml_ids.h"

namespace vexlo {
namespace installer {

namespace {

// A string that COM hands over; freed when the owner goes.
class ReceivedBstr {
 public:
  ReceivedBstr() = default;
  ReceivedBstr(const ReceivedBstr&) = delete;
  ReceivedBstr& operator=(const ReceivedBstr&) = delete;
  ~ReceivedBstr() { ::SysFreeString(bstr_); }

  BSTR* Receive() { return &bstr_; }
  base::string16 value() const {
    return base::string16(bstr_ ? bstr_ : L"", ::SysStringLen(bstr_));
  }

 private:
  BSTR bstr_ = nullptr;
};

// A variant that COM fills; cleared when the owner goes.
class ReceivedVariant {
 public:
  ReceivedVariant() { ::VariantInit(&variant_); }
  ReceivedVariant(const ReceivedVariant&) = delete;
  ReceivedVariant& operator=(const ReceivedVariant&) = delete;
  ~ReceivedVariant() { ::VariantClear(&variant_); }

  VARIANT* Receive() { return &variant_; }
  // The string the variant holds; false when it holds none.
  bool GetString(base::string16* value) const {
    if (variant_.vt != VT_BSTR)
      return false;
    const BSTR bstr = variant_.bstrVal;
    value->assign(bstr ? bstr : L"", ::SysStringLen(bstr));
    return true;
  }

 private:
  VARIANT variant_;
};

// A string for COM made from UTF-8 text. Running out of memory here ends
// the process: no caller could go on sensibly.
class Utf8Bstr {
 public:
  explicit Utf8Bstr(base::StringPiece text) {
    const base::string16 wide = base::UTF8ToUTF16(text);
    bstr_ = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    CHECK(bstr_) << "Out of memory for an XML string";
  }
  Utf8Bstr(const Utf8Bstr&) = delete;
  Utf8Bstr& operator=(const Utf8Bstr&) = delete;
  ~Utf8Bstr() { ::SysFreeString(bstr_); }

  BSTR get() const { return bstr_; }

 private:
  BSTR bstr_;
};

// Makes |to| hold what |from| held, and |from| nothing.
template <class Interface>
void Take(base::win::ScopedComPtr<Interface>* from,
          base::win::ScopedComPtr<Interface>* to) {
  Interface* object = from->get();
  if (object)
    object->AddRef();
  *to->Receive() = object;
  from->Reset();
}

DOMNodeType GetNodeType(IXMLDOMNode* node) {
  DOMNodeType type = NODE_INVALID;
  if (FAILED(node->get_nodeType(&type)))
    return NODE_INVALID;
  return type;
}

bool IsTextNode(DOMNodeType type) {
  return type == NODE_TEXT || type == NODE_CDATA_SECTION;
}

// Moves |node| to the first element among itself and its following
// siblings.
XmlDocument::Move SkipToElement(base::win::ScopedComPtr<IXMLDOMNode>* node) {
  while (*node) {
    const DOMNodeType type = GetNodeType(node->get());
    if (type == NODE_INVALID)
      return XmlDocument::Move::kError;
    if (type == NODE_ELEMENT)
      return XmlDocument::Move::kFound;
    base::win::ScopedComPtr<IXMLDOMNode> next;
    if (FAILED((*node)->get_nextSibling(next.Receive())))
      return XmlDocument::Move::kError;
    Take(&next, node);
  }
  return XmlDocument::Move::kNone;
}

base::string16 GetName(IXMLDOMNode* node) {
  ReceivedBstr name;
  if (FAILED(node->get_nodeName(name.Receive())))
    return base::string16();
  return name.value();
}

// The text of |node|'s text children, in order.
bool GetChildText(IXMLDOMNode* node, base::string16* text) {
  text->clear();
  base::win::ScopedComPtr<IXMLDOMNode> child;
  if (FAILED(node->get_firstChild(child.Receive())))
    return false;
  while (child) {
    if (IsTextNode(GetNodeType(child.get()))) {
      ReceivedVariant value;
      base::string16 piece;
      if (FAILED(child->get_nodeValue(value.Receive())) ||
          !value.GetString(&piece)) {
        return false;
      }
      text->append(piece);
    }
    base::win::ScopedComPtr<IXMLDOMNode> next;
    if (FAILED(child->get_nextSibling(next.Receive())))
      return false;
    Take(&next, &child);
  }
  return true;
}

// Appends |text| in UTF-8 with the characters that markup or a reader's
// line-end and attribute normalisation would change written as references.
void AppendEscaped(const base::string16& text,
                   bool in_attribute,
                   std::string* out) {
  for (const char& c : base::UTF16ToUTF8(text)) {
    switch (c) {
      case '&':
        out->append("&amp;");
        break;
      case '<':
        out->append("&lt;");
        break;
      case '>':
        out->append("&gt;");
        break;
      case '\r':
        out->append("&#13;");
        break;
      case '\t':
        out->append("&#9;");
        break;
      case '"':
        out->append(in_attribute ? "&quot;" : "\"");
        break;
      case '\n':
        out->append(in_attribute ? "&#10;" : "\n");
        break;
      default:
        out->push_back(c);
    }
  }
}

bool AppendAttributes(IXMLDOMNode* node, std::string* out) {
  base::win::ScopedComPtr<IXMLDOMNamedNodeMap> attributes;
  long count = 0;
  if (FAILED(node->get_attributes(attributes.Receive())) || !attributes ||
      FAILED(attributes->get_length(&count))) {
    return false;
  }
  for (long i = 0; i < count; ++i) {
    base::win::ScopedComPtr<IXMLDOMNode> attribute;
    ReceivedVariant value;
    base::string16 text;
    if (FAILED(attributes->get_item(i, attribute.Receive())) || !attribute ||
        FAILED(attribute->get_nodeValue(value.Receive())) ||
        !value.GetString(&text)) {
      return false;
    }
    out->append(" ");
    out->append(base::UTF16ToUTF8(GetName(attribute.get())));
    out->append("=\"");
    AppendEscaped(text, true, out);
    out->append("\"");
  }
  return true;
}

bool HasChildElement(IXMLDOMNode* node) {
  base::win::ScopedComPtr<IXMLDOMNode> child;
  if (FAILED(node->get_firstChild(child.Receive())))
    return false;
  return SkipToElement(&child) == XmlDocument::Move::kFound;
}

bool AppendElement(IXMLDOMNode* element, size_t depth, std::string* out);

// The children of an element that holds elements: elements on lines of
// their own one level deeper, text as it stands.
bool AppendChildren(IXMLDOMNode* element, size_t depth, std::string* out) {
  base::win::ScopedComPtr<IXMLDOMNode> child;
  if (FAILED(element->get_firstChild(child.Receive())))
    return false;
  while (child) {
    const DOMNodeType type = GetNodeType(child.get());
    if (type == NODE_ELEMENT) {
      if (!AppendElement(child.get(), depth + 1, out))
        return false;
    } else if (IsTextNode(type)) {
      base::string16 text;
      ReceivedVariant value;
      if (FAILED(child->get_nodeValue(value.Receive())) ||
          !value.GetString(&text)) {
        return false;
      }
      AppendEscaped(text, false, out);
    }
    base::win::ScopedComPtr<IXMLDOMNode> next;
    if (FAILED(child->get_nextSibling(next.Receive())))
      return false;
    Take(&next, &child);
  }
  return true;
}

bool AppendElement(IXMLDOMNode* element, size_t depth, std::string* out) {
  const std::string indent(depth, ' ');
  const std::string name = base::UTF16ToUTF8(GetName(element));
  out->append(indent + "<" + name);
  if (!AppendAttributes(element, out))
    return false;
  if (HasChildElement(element)) {
    out->append(">\n");
    if (!AppendChildren(element, depth, out))
      return false;
    out->append(indent + "</" + name + ">\n");
    return true;
  }
  base::string16 text;
  if (!GetChildText(element, &text))
    return false;
  if (text.empty()) {
    out->append("/>\n");
    return true;
  }
  out->append(">");
  AppendEscaped(text, false, out);
  out->append("</" + name + ">\n");
  return true;
}

}  // namespace

XmlDocument::XmlDocument() = default;

XmlDocument::~XmlDocument() = default;

bool XmlDocument::Initialize() {
  cursor_.Reset();
  HRESULT result =
      ::CoCreateInstance(CLSID_DOMDocument30, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IXMLDOMDocument2, document_.ReceiveVoid());
  if (FAILED(result)) {
    LOG(ERROR) << "Cannot create the XML document: 0x" << std::hex << result;
    return false;
  }
  // White space is kept so that texts read back exactly as written; the
  // reader skips the white space between elements anyway.
  if (FAILED(document_->put_async(VARIANT_FALSE)) ||
      FAILED(document_->put_validateOnParse(VARIANT_FALSE)) ||
      FAILED(document_->put_resolveExternals(VARIANT_FALSE)) ||
      FAILED(document_->put_preserveWhiteSpace(VARIANT_TRUE)) ||
      FAILED(
          document_->QueryInterface(IID_IXMLDOMNode, cursor_.ReceiveVoid()))) {
    LOG(ERROR) << "Cannot set up the XML document";
    document_.Reset();
    return false;
  }
  return true;
}

bool XmlDocument::Load(const base::FilePath& file) {
  if (!document_)
    return false;
  const base::win::ScopedVariant source(file.value().c_str());
  VARIANT_BOOL success = VARIANT_FALSE;
  const HRESULT result = document_->load(source.Get(), &success);
  cursor_.Reset();
  document_->QueryInterface(IID_IXMLDOMNode, cursor_.ReceiveVoid());
  if (result != S_OK || success != VARIANT_TRUE || !cursor_) {
    LOG(ERROR) << "Cannot load the XML file " << file.AsUTF8() << ": 0x"
               << std::hex << result;
    return false;
  }
  return true;
}

bool XmlDocument::OpenElement(base::StringPiece name) {
  if (!cursor_)
    return false;
  const Utf8Bstr tag(name);
  base::win::ScopedComPtr<IXMLDOMElement> element;
  base::win::ScopedComPtr<IXMLDOMNode> appended;
  if (FAILED(document_->createElement(tag.get(), element.Receive())) ||
      FAILED(cursor_->appendChild(element.get(), appended.Receive())) ||
      !appended) {
    LOG(ERROR) << "Cannot add the XML element " << name;
    return false;
  }
  Take(&appended, &cursor_);
  return true;
}

bool XmlDocument::SetAttribute(base::StringPiece name,
                               base::StringPiece value) {
  base::win::ScopedComPtr<IXMLDOMElement> element;
  if (!cursor_ || FAILED(cursor_->QueryInterface(IID_IXMLDOMElement,
                                                 element.ReceiveVoid()))) {
    return false;
  }
  const Utf8Bstr attribute_name(name);
  const Utf8Bstr text(value);
  VARIANT variant;
  variant.vt = VT_BSTR;
  variant.bstrVal = text.get();
  if (FAILED(element->setAttribute(attribute_name.get(), variant))) {
    LOG(ERROR) << "Cannot set the XML attribute " << name;
    return false;
  }
  return true;
}

bool XmlDocument::SetText(base::StringPiece value) {
  if (!cursor_ || GetNodeType(cursor_.get()) != NODE_ELEMENT)
    return false;
  const Utf8Bstr text(value);
  if (FAILED(cursor_->put_text(text.get()))) {
    LOG(ERROR) << "Cannot set an XML element's text";
    return false;
  }
  return true;
}

bool XmlDocument::CloseElement() {
  return MoveToParentElement() == Move::kFound;
}

bool XmlDocument::SaveToString(std::string* text) const {
  text->assign("<?xml version=\"1.0\"?>\n");
  if (!document_)
    return false;
  base::win::ScopedComPtr<IXMLDOMNode> node;
  if (FAILED(document_->get_firstChild(node.Receive())))
    return false;
  while (node) {
    if (GetNodeType(node.get()) == NODE_ELEMENT &&
        !AppendElement(node.get(), 0, text)) {
      LOG(ERROR) << "Cannot serialise the XML document";
      return false;
    }
    base::win::ScopedComPtr<IXMLDOMNode> next;
    if (FAILED(node->get_nextSibling(next.Receive())))
      return false;
    Take(&next, &node);
  }
  return true;
}

XmlDocument::Move XmlDocument::MoveToFirstChildElement() {
  return MoveAlong(&IXMLDOMNode::get_firstChild);
}

XmlDocument::Move XmlDocument::MoveToNextSiblingElement() {
  return MoveAlong(&IXMLDOMNode::get_nextSibling);
}

XmlDocument::Move XmlDocument::MoveAlong(
    HRESULT (STDMETHODCALLTYPE IXMLDOMNode::*step)(IXMLDOMNode**)) {
  if (!cursor_)
    return Move::kError;
  base::win::ScopedComPtr<IXMLDOMNode> node;
  if (FAILED((cursor_.get()->*step)(node.Receive())))
    return Move::kError;
  const Move move = SkipToElement(&node);
  if (move == Move::kFound)
    Take(&node, &cursor_);
  return move;
}

XmlDocument::Move XmlDocument::MoveToParentElement() {
  if (!cursor_)
    return Move::kError;
  base::win::ScopedComPtr<IXMLDOMNode> parent;
  if (FAILED(cursor_->get_parentNode(parent.Receive())))
    return Move::kError;
  if (!parent || GetNodeType(parent.get()) != NODE_ELEMENT)
    return Move::kNone;
  Take(&parent, &cursor_);
  return Move::kFound;
}

base::string16 XmlDocument::GetNodeName() const {
  return cursor_ ? GetName(cursor_.get()) : base::string16();
}

base::string16 XmlDocument::GetNodeText() const {
  base::string16 text;
  if (!cursor_ || !GetChildText(cursor_.get(), &text))
    return base::string16();
  return text;
}

bool XmlDocument::GetAttribute(base::StringPiece name,
                               base::string16* value) const {
  base::win::ScopedComPtr<IXMLDOMElement> element;
  if (!cursor_ || FAILED(cursor_->QueryInterface(IID_IXMLDOMElement,
                                                 element.ReceiveVoid()))) {
    return false;
  }
  const Utf8Bstr attribute_name(name);
  ReceivedVariant variant;
  if (element->getAttribute(attribute_name.get(), variant.Receive()) != S_OK)
    return false;
  return variant.GetString(value);
}

}  // namespace installer
}  // namespace vexlo

#pragma once
// The small part of XML that object stores answer with (ListBucketResult,
// Error, InitiateMultipartUploadResult …): elements, their text, entities
// and CDATA. Attributes, namespaces and processing instructions are read
// past; element names lose any namespace prefix.

#include <string>
#include <string_view>
#include <vector>

struct TXmlElement {
  std::string Name;
  // The element's own text (not its children's), entities decoded.
  std::string Text;
  std::vector<TXmlElement> Children;

  // The first child of that name; nullptr when there is none.
  const TXmlElement* Child(std::string_view name) const;
  // The first such child's text; empty when there is none.
  std::string ChildText(std::string_view name) const;
  std::vector<const TXmlElement*> ChildrenNamed(std::string_view name) const;
};

// The document element of `text`. Raises Exception naming what is wrong
// when the text is not well-formed enough to read.
TXmlElement ParseXml(std::string_view text);

// `text` with &, <, >, " and ' written as entities.
std::string XmlEscape(std::string_view text);

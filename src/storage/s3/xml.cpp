#include "storage/s3/xml.h"

#include <cstdint>

#include "platform/exception.h"

namespace {

// Deeper nesting than any answer has is refused rather than followed.
constexpr int MaxDepth = 32;

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

class TXmlReader {
 public:
  explicit TXmlReader(std::string_view text) : FText(text) {}

  TXmlElement Document() {
    SkipMisc();
    TXmlElement root = Element(0);
    SkipMisc();
    if (FPos != FText.size()) Fail("text after the document's end");
    return root;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw Exception("The object store's answer is not readable XML: " + what + " at byte " + std::to_string(FPos));
  }
  bool At(std::string_view token) const { return FText.substr(FPos, token.size()) == token; }
  void SkipPast(std::string_view token) {
    const std::size_t end = FText.find(token, FPos);
    if (end == std::string_view::npos) Fail("'" + std::string(token) + "' missing");
    FPos = end + token.size();
  }
  void SkipBlanks() {
    while (FPos < FText.size() &&
           (FText[FPos] == ' ' || FText[FPos] == '\t' || FText[FPos] == '\r' || FText[FPos] == '\n')) {
      ++FPos;
    }
  }
  // Blanks, the declaration, comments and a document type before or after
  // the document element.
  void SkipMisc() {
    for (;;) {
      SkipBlanks();
      if (At("<?")) {
        SkipPast("?>");
      } else if (At("<!--")) {
        SkipPast("-->");
      } else if (At("<!DOCTYPE")) {
        SkipPast(">");
      } else {
        return;
      }
    }
  }

  std::string Name() {
    const std::size_t start = FPos;
    while (FPos < FText.size() && std::string_view(" \t\r\n/>=").find(FText[FPos]) == std::string_view::npos) ++FPos;
    if (FPos == start) Fail("an element without a name");
    std::string_view name = FText.substr(start, FPos - start);
    const std::size_t colon = name.rfind(':');
    return std::string(colon == std::string_view::npos ? name : name.substr(colon + 1));
  }

  // Reads past the attributes; true for an empty element ("/>").
  bool SkipAttributes() {
    while (FPos < FText.size()) {
      const char c = FText[FPos];
      if (c == '>') {
        ++FPos;
        return false;
      }
      if (c == '/' && At("/>")) {
        FPos += 2;
        return true;
      }
      if (c == '"' || c == '\'') {
        const std::size_t end = FText.find(c, FPos + 1);
        if (end == std::string_view::npos) Fail("an attribute value without its end");
        FPos = end;
      }
      ++FPos;
    }
    Fail("a tag without its end");
  }

  void Entity(std::string& out) {
    const std::size_t end = FText.find(';', FPos);
    if (end == std::string_view::npos || end - FPos > 12) Fail("a broken entity");
    const std::string_view name = FText.substr(FPos + 1, end - FPos - 1);
    FPos = end + 1;
    if (name == "amp") return out.push_back('&');
    if (name == "lt") return out.push_back('<');
    if (name == "gt") return out.push_back('>');
    if (name == "quot") return out.push_back('"');
    if (name == "apos") return out.push_back('\'');
    if (name.size() >= 2 && name[0] == '#') {
      const bool hex = name[1] == 'x' || name[1] == 'X';
      try {
        const unsigned long code = std::stoul(std::string(name.substr(hex ? 2 : 1)), nullptr, hex ? 16 : 10);
        if (code > 0 && code <= 0x10FFFF) return AppendUtf8(out, static_cast<std::uint32_t>(code));
      } catch (const std::exception&) {
      }
    }
    Fail("an unknown entity '&" + std::string(name) + ";'");
  }

  TXmlElement Element(int depth) {
    if (depth > MaxDepth) Fail("elements nested too deep");
    if (!At("<")) Fail("an element expected");
    ++FPos;
    TXmlElement element;
    element.Name = Name();
    if (SkipAttributes()) return element;
    while (FPos < FText.size()) {
      if (At("</")) {
        FPos += 2;
        if (Name() != element.Name) Fail("'" + element.Name + "' closed by another element's end tag");
        SkipBlanks();
        if (!At(">")) Fail("an end tag without its '>'");
        ++FPos;
        return element;
      }
      if (At("<!--")) {
        SkipPast("-->");
      } else if (At("<![CDATA[")) {
        const std::size_t start = FPos + 9;
        SkipPast("]]>");
        element.Text.append(FText.substr(start, FPos - 3 - start));
      } else if (At("<?")) {
        SkipPast("?>");
      } else if (At("<")) {
        element.Children.push_back(Element(depth + 1));
      } else if (FText[FPos] == '&') {
        Entity(element.Text);
      } else {
        element.Text += FText[FPos++];
      }
    }
    Fail("'" + element.Name + "' without its end tag");
  }

  std::string_view FText;
  std::size_t FPos = 0;
};

}  // namespace

const TXmlElement* TXmlElement::Child(std::string_view name) const {
  for (const TXmlElement& child : Children) {
    if (child.Name == name) return &child;
  }
  return nullptr;
}

std::string TXmlElement::ChildText(std::string_view name) const {
  const TXmlElement* child = Child(name);
  return child != nullptr ? child->Text : std::string();
}

std::vector<const TXmlElement*> TXmlElement::ChildrenNamed(std::string_view name) const {
  std::vector<const TXmlElement*> found;
  for (const TXmlElement& child : Children) {
    if (child.Name == name) found.push_back(&child);
  }
  return found;
}

TXmlElement ParseXml(std::string_view text) { return TXmlReader(text).Document(); }

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

// XML documents on the simulated machine, parsed by expat into a small tree.
#include "platform/xml.h"

#include <expat.h>

#include <string>
#include <vector>

namespace xml {

namespace {

// Elements, and runs of character data (no name, kept in document order
// among the element's children).
struct Node {
  std::string name;
  std::string text;
  int parent = -1;
  std::vector<int> children;
};

struct Builder {
  std::vector<Node>* nodes;
  std::vector<int> open;
  int root = -1;
};

// Expat hands out UTF-8; the program works in the 8-bit ANSI code page, of
// which Latin-1 is the part every Windows code page agrees on well enough.
std::string ToAnsi(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    size_t len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
    unsigned cp = len == 2 ? (c & 0x1Fu) : len == 3 ? (c & 0x0Fu) : (c & 0x07u);
    for (size_t k = 1; k < len && i + k < utf8.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
    }
    out += cp <= 0xFF ? static_cast<char>(cp) : '?';
    i += len;
  }
  return out;
}

void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char**) {
  auto* b = static_cast<Builder*>(data);
  const int parent = b->open.empty() ? -1 : b->open.back();
  b->nodes->push_back(Node{name, {}, parent, {}});
  const int index = static_cast<int>(b->nodes->size()) - 1;
  if (parent < 0) {
    b->root = index;
  } else {
    (*b->nodes)[parent].children.push_back(index);
  }
  b->open.push_back(index);
}

void XMLCALL OnEnd(void* data, const XML_Char*) { static_cast<Builder*>(data)->open.pop_back(); }

void XMLCALL OnText(void* data, const XML_Char* s, int len) {
  auto* b = static_cast<Builder*>(data);
  if (b->open.empty()) return;
  std::vector<Node>& nodes = *b->nodes;
  const int parent = b->open.back();
  std::vector<int>& children = nodes[parent].children;
  if (children.empty() || !nodes[children.back()].name.empty()) {
    nodes.push_back(Node{{}, {}, parent, {}});
    // Re-fetch: push_back may have moved the vector.
    nodes[parent].children.push_back(static_cast<int>(nodes.size()) - 1);
  }
  nodes[nodes[parent].children.back()].text.append(s, static_cast<size_t>(len));
}

std::string TrimWhite(const std::string& s) {
  const char* const kWhite = " \t\r\n";
  const size_t first = s.find_first_not_of(kWhite);
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(kWhite) - first + 1);
}

}  // namespace

struct Document::Impl {
  std::vector<Node> nodes;
  int root = -1;

  // Depth-first without recursion: a reply may nest as deep as it likes.
  void AllText(int index, std::string* out) const {
    std::vector<int> pending{index};
    while (!pending.empty()) {
      const Node& n = nodes[pending.back()];
      pending.pop_back();
      out->append(n.text);
      for (auto it = n.children.rbegin(); it != n.children.rend(); ++it) pending.push_back(*it);
    }
  }
};

Document::Document() : impl_(std::make_unique<Impl>()) {}
Document::~Document() = default;

bool Document::Load(const std::string& text) {
  impl_ = std::make_unique<Impl>();
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (parser == nullptr) return false;
  Builder builder{&impl_->nodes, {}, -1};
  XML_SetUserData(parser, &builder);
  XML_SetElementHandler(parser, OnStart, OnEnd);
  XML_SetCharacterDataHandler(parser, OnText);
  const bool ok = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  if (!ok || builder.root < 0) {
    impl_ = std::make_unique<Impl>();
    return false;
  }
  for (Node& n : impl_->nodes) {
    n.name = ToAnsi(n.name);
    n.text = ToAnsi(n.text);
  }
  impl_->root = builder.root;
  return true;
}

bool Document::HasRoot(const std::string& name) const {
  return impl_->root >= 0 && impl_->nodes[impl_->root].name == name;
}

bool Document::FirstChildText(const std::string& parent, const std::string& child,
                              std::string* text) const {
  // Nodes were stored in document order, so the first match is the first found.
  for (size_t i = 0; i < impl_->nodes.size(); ++i) {
    const Node& n = impl_->nodes[i];
    if (n.name.empty() || n.name != child || n.parent < 0 || impl_->nodes[n.parent].name != parent) continue;
    std::string all;
    impl_->AllText(static_cast<int>(i), &all);
    *text = TrimWhite(all);
    return true;
  }
  return false;
}

}  // namespace xml

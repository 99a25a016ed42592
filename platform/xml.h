// A parsed XML document, for reading the management server's replies. Each
// backend brings its parser: expat on the simulated machine, MSXML (the
// DOMDocument the agent has always read replies with) on Windows.
#pragma once

#include <memory>
#include <string>

namespace xml {

class Document {
 public:
  Document();
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // False when the text is not a well-formed document (loadXML).
  bool Load(const std::string& text);
  // True when the document element is called name (selectSingleNode(name)).
  bool HasRoot(const std::string& name) const;
  // The text of the first element child directly inside an element parent,
  // anywhere in the document (getElementsByTagName("parent/child")), with
  // surrounding white space removed; false when there is none.
  bool FirstChildText(const std::string& parent, const std::string& child,
                      std::string* text) const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace xml

// XML documents on Windows: MSXML's DOMDocument through COM.
#include "platform/xml.h"

#include "platform/win32/win32_api.h"

#include <msxml2.h>

#include <string>

namespace xml {

namespace {

template <class T>
class Com {
 public:
  Com() = default;
  ~Com() {
    if (p_ != nullptr) p_->Release();
  }
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  T** out() { return &p_; }
  T* operator->() const { return p_; }
  T* get() const { return p_; }

 private:
  T* p_ = nullptr;
};

class Bstr {
 public:
  explicit Bstr(const std::string& text) {
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    b_ = ::SysAllocStringLen(nullptr, static_cast<UINT>(n));
    if (b_ != nullptr && n > 0) {
      ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), b_, n);
    }
  }
  Bstr() = default;
  ~Bstr() { ::SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return b_; }
  BSTR* out() { return &b_; }

 private:
  BSTR b_ = nullptr;
};

std::string Narrow(BSTR text) {
  const int length = static_cast<int>(::SysStringLen(text));
  if (length == 0) return {};
  const int n = ::WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, length, narrow.data(), n, nullptr, nullptr);
  return narrow;
}

}  // namespace

struct Document::Impl {
  IXMLDOMDocument* doc = nullptr;
  ~Impl() {
    if (doc != nullptr) doc->Release();
  }
};

Document::Document() : impl_(std::make_unique<Impl>()) {}
Document::~Document() = default;

bool Document::Load(const std::string& text) {
  impl_ = std::make_unique<Impl>();
  os::win32::EnsureCom();
  CLSID clsid;
  if (FAILED(::CLSIDFromProgID(L"MSXML2.DOMDocument", &clsid))) return false;
  IXMLDOMDocument* doc = nullptr;
  if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                reinterpret_cast<void**>(&doc)))) {
    return false;
  }
  impl_->doc = doc;
  doc->put_async(VARIANT_FALSE);
  Bstr source(text);
  VARIANT_BOOL ok = VARIANT_FALSE;
  if (FAILED(doc->loadXML(source.get(), &ok)) || ok != VARIANT_TRUE) {
    impl_ = std::make_unique<Impl>();
    return false;
  }
  return true;
}

bool Document::HasRoot(const std::string& name) const {
  if (impl_->doc == nullptr) return false;
  Com<IXMLDOMNode> node;
  Bstr query(name);
  return impl_->doc->selectSingleNode(query.get(), node.out()) == S_OK && node.get() != nullptr;
}

bool Document::FirstChildText(const std::string& parent, const std::string& child, std::string* text) const {
  if (impl_->doc == nullptr) return false;
  Com<IXMLDOMNodeList> list;
  Bstr pattern(parent + "/" + child);
  if (FAILED(impl_->doc->getElementsByTagName(pattern.get(), list.out())) || list.get() == nullptr) return false;
  Com<IXMLDOMNode> first;
  if (list->get_item(0, first.out()) != S_OK || first.get() == nullptr) return false;
  Bstr value;
  if (FAILED(first->get_text(value.out()))) return false;
  *text = Narrow(value.get());
  return true;
}

}  // namespace xml

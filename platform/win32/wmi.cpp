#include "platform/win32/win32_api.h"

#include <oleauto.h>
#include <wbemidl.h>

#include <utility>

#include "base/text.h"

namespace os {
namespace {

// Owns one COM interface pointer.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { Reset(); }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  T** Out() {
    Reset();
    return &p_;
  }
  void Reset() {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }

 private:
  T* p_ = nullptr;
};

// Owns one BSTR.
class Bstr {
 public:
  explicit Bstr(const wchar_t* text) : s_(::SysAllocString(text)) {}
  Bstr() = default;
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { ::SysFreeString(s_); }
  BSTR get() const { return s_; }
  BSTR* Out() {
    ::SysFreeString(std::exchange(s_, nullptr));
    return &s_;
  }

 private:
  BSTR s_ = nullptr;
};

// Owns one VARIANT.
class Variant {
 public:
  Variant() { ::VariantInit(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { ::VariantClear(&v_); }
  VARIANT* get() { return &v_; }

 private:
  VARIANT v_;
};

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string Narrow(const wchar_t* text, size_t length) {
  if (length == 0) return {};
  const int size = ::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
  std::string narrow(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), narrow.data(), size, nullptr,
                        nullptr);
  return narrow;
}

// A property as script would print it: Null and arrays have no text.
std::string PropertyText(VARIANT* value) {
  if ((value->vt & VT_ARRAY) != 0 || value->vt == VT_NULL || value->vt == VT_EMPTY) return {};
  Variant text;
  if (FAILED(::VariantChangeType(text.get(), value, VARIANT_ALPHABOOL, VT_BSTR))) return {};
  const BSTR s = text.get()->bstrVal;
  return s == nullptr ? std::string() : Narrow(s, ::SysStringLen(s));
}

bool ReadInstance(IWbemClassObject* object, WmiObject* instance) {
  if (FAILED(object->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY))) return false;
  for (;;) {
    Bstr name;
    Variant value;
    const HRESULT next = object->Next(0, name.Out(), value.get(), nullptr, nullptr);
    if (next != WBEM_S_NO_ERROR) break;
    if (name.get() == nullptr) continue;
    instance->properties[ToUpper(Narrow(name.get(), ::SysStringLen(name.get())))] =
        PropertyText(value.get());
  }
  object->EndEnumeration();
  return true;
}

}  // namespace

std::string WmiObject::Get(const std::string& name) const {
  const auto found = properties.find(ToUpper(name));
  return found == properties.end() ? std::string() : found->second;
}

bool WmiInstancesOf(const std::string& className, std::vector<WmiObject>* instances) {
  win32::EnsureCom();

  ComPtr<IWbemLocator> locator;
  if (FAILED(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(locator.Out())))) {
    return false;
  }
  ComPtr<IWbemServices> services;
  Bstr space(L"ROOT\\CIMV2");
  if (FAILED(locator->ConnectServer(space.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                    services.Out()))) {
    return false;
  }
  // The moniker's default: impersonate the caller towards the provider.
  if (FAILED(::CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                 RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                 EOAC_NONE))) {
    return false;
  }

  ComPtr<IEnumWbemClassObject> enumerator;
  Bstr wideClass(Widen(className).c_str());
  if (FAILED(services->CreateInstanceEnum(wideClass.get(),
                                          WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
                                          nullptr, enumerator.Out()))) {
    return false;
  }
  ::CoSetProxyBlanket(enumerator.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);

  std::vector<WmiObject> found;
  for (;;) {
    ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    const HRESULT next = enumerator->Next(WBEM_INFINITE, 1, object.Out(), &returned);
    if (FAILED(next)) return false;
    if (returned == 0) break;
    WmiObject instance;
    if (!ReadInstance(object.get(), &instance)) return false;
    found.push_back(std::move(instance));
  }
  *instances = std::move(found);
  return true;
}

}  // namespace os

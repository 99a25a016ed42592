// Registry calls over the HKEY_LOCAL_MACHINE tree loaded from registry.reg.
#include <algorithm>

#include "platform/sim/state.h"

namespace sim {

RegNode::~RegNode() {
  std::vector<std::unique_ptr<RegNode>> pending;
  for (auto& entry : children) pending.push_back(std::move(entry.second));
  children.clear();
  while (!pending.empty()) {
    std::unique_ptr<RegNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& entry : node->children) pending.push_back(std::move(entry.second));
    node->children.clear();
  }  // node now has no children, so its destructor does not descend
}

RegNode& RegNode::operator=(RegNode&& other) {
  if (this != &other) {
    RegNode old(std::move(*this));  // the old subtree goes through the destructor above
    name = std::move(other.name);
    children = std::move(other.children);
    values = std::move(other.values);
    denyMasks = std::move(other.denyMasks);
  }
  return *this;
}

namespace {

std::vector<std::string> SplitKeyPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t sep = path.find('\\', start);
    if (sep == std::string::npos) sep = path.size();
    if (sep > start) parts.push_back(path.substr(start, sep - start));
    start = sep + 1;
  }
  return parts;
}

std::vector<std::string> ViewParts(const std::string& path, uint32_t access);

// The key a path names in the requested view, or nullptr.
RegNode* FindKey(const std::string& path, uint32_t access) {
  RegNode* node = &M().registry;
  for (const std::string& part : ViewParts(path, access)) {
    auto it = node->children.find(Upper(part));
    if (it == node->children.end()) return nullptr;
    node = it->second.get();
  }
  return node;
}

long Open(const std::string& path, uint32_t access, uint32_t requested, os::RegKey* key) {
  RegNode* node = FindKey(path, access);
  if (node == nullptr) return os::kErrorFileNotFound;
  for (uint32_t mask : node->denyMasks) {
    if ((requested & mask) == mask) return os::kErrorAccessDenied;
  }
  HandleData h;
  h.kind = os::HandleKind::kRegKey;
  h.key = node;
  h.keyRights = requested;
  *key = os::RegKey(NewHandle(h));
  return os::kErrorSuccess;
}

constexpr long kErrorKeyDeleted = 1018;
constexpr uint32_t kKeySetValue = 0x0002;

// The path's parts in the requested view (SOFTWARE redirected for the 32-bit one).
std::vector<std::string> ViewParts(const std::string& path, uint32_t access) {
  std::vector<std::string> parts = SplitKeyPath(path);
  const bool view32 = (access & os::kKeyWow64_64Key) == 0 || (access & os::kKeyWow64_32Key) != 0;
  if (M().bits == 64 && view32 && !parts.empty() && EqualNoCase(parts[0], "SOFTWARE") &&
      !(parts.size() > 1 && EqualNoCase(parts[1], "Wow6432Node"))) {
    parts.insert(parts.begin() + 1, "Wow6432Node");
  }
  return parts;
}

// A change to the tree moves every index: enumeration cursors start over.
void ForgetCursors() {
  for (auto& [raw, h] : M().handles) {
    if (h.kind == os::HandleKind::kRegKey) h.enumIndex = SIZE_MAX;
  }
}


long CreateKey(const std::string& path, uint32_t access, os::RegKey* key) {
  const uint32_t rights = access & ~(os::kKeyWow64_64Key | os::kKeyWow64_32Key);
  RegNode* node = &M().registry;
  bool created = false;
  for (const std::string& part : ViewParts(path, access)) {
    auto [it, inserted] = node->children.try_emplace(Upper(part));
    if (inserted) {
      it->second = std::make_unique<RegNode>();
      it->second->name = part;
      created = true;
    }
    node = it->second.get();
  }
  if (created) ForgetCursors();
  if (node == &M().registry) return os::kErrorInvalidParameter;
  for (uint32_t mask : node->denyMasks) {
    if ((rights & mask) == mask) return os::kErrorAccessDenied;
  }
  HandleData h;
  h.kind = os::HandleKind::kRegKey;
  h.key = node;
  h.keyRights = rights;
  *key = os::RegKey(NewHandle(h));
  return os::kErrorSuccess;
}

long SetValue(const os::RegKey& key, const std::string& valueName, uint32_t type,
              const std::string& data) {
  HandleData* h = FindHandle(os::HandleKind::kRegKey, key.get());
  if (h == nullptr) return os::kErrorInvalidHandle;
  if (h->key == nullptr) return kErrorKeyDeleted;
  if ((h->keyRights & kKeySetValue) == 0) return os::kErrorAccessDenied;
  RegValue& v = h->key->values[Upper(valueName)];
  v.name = valueName;
  v.type = type;
  v.data = data;
  return os::kErrorSuccess;
}

long DeleteTree(const std::string& path, uint32_t access) {
  const std::vector<std::string> parts = ViewParts(path, access);
  if (parts.empty()) return os::kErrorAccessDenied;
  RegNode* parent = &M().registry;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    auto it = parent->children.find(Upper(parts[i]));
    if (it == parent->children.end()) return os::kErrorFileNotFound;
    parent = it->second.get();
  }
  auto it = parent->children.find(Upper(parts.back()));
  if (it == parent->children.end()) return os::kErrorFileNotFound;
  // Handles to the deleted keys stay valid handles but fail from now on.
  std::vector<const RegNode*> gone{it->second.get()};
  for (size_t i = 0; i < gone.size(); ++i) {
    for (const auto& [name, child] : gone[i]->children) gone.push_back(child.get());
  }
  for (auto& [raw, h] : M().handles) {
    if (h.kind == os::HandleKind::kRegKey &&
        std::find(gone.begin(), gone.end(), h.key) != gone.end()) {
      h.key = nullptr;
    }
  }
  parent->children.erase(it);
  ForgetCursors();
  return os::kErrorSuccess;
}

}  // namespace
}  // namespace sim

namespace os {

long RegOpenKeyEx(const std::string& path, uint32_t access, RegKey* key) {
  const uint32_t rights = access & ~(kKeyWow64_64Key | kKeyWow64_32Key);
  return sim::Open(path, access, rights, key);
}

long RegOpenKey(const std::string& path, RegKey* key) {
  // MAXIMUM_ALLOWED: fails only when not even reading is allowed.
  return sim::Open(path, 0, kKeyRead, key);
}

long RegEnumKey(const RegKey& key, uint32_t index, uint32_t bufferSize, std::string* name) {
  sim::HandleData* h = sim::FindHandle(HandleKind::kRegKey, key.get());
  if (h == nullptr) return kErrorInvalidHandle;
  if (h->key == nullptr) return sim::kErrorKeyDeleted;
  const auto& children = h->key->children;
  if (index >= children.size()) return kErrorNoMoreItems;
  // Every change to the tree drops the cursors, so a kept one is still valid.
  auto it = children.begin();
  size_t at = 0;
  if (h->enumIndex != SIZE_MAX && h->enumIndex <= index) {
    it = h->enumAt;
    at = h->enumIndex;
  }
  std::advance(it, index - at);
  h->enumIndex = index;
  h->enumAt = it;
  const std::string& n = it->second->name;
  if (n.size() + 1 > bufferSize) return kErrorMoreData;
  *name = n;
  return kErrorSuccess;
}

long RegQueryValueEx(const RegKey& key, const std::string& valueName, uint32_t* type,
                     std::string* data, uint32_t* size) {
  sim::HandleData* h = sim::FindHandle(HandleKind::kRegKey, key.get());
  if (h == nullptr) return kErrorInvalidHandle;
  if (h->key == nullptr) return sim::kErrorKeyDeleted;
  auto it = h->key->values.find(sim::Upper(valueName));
  if (it == h->key->values.end()) return kErrorFileNotFound;
  const sim::RegValue& v = it->second;
  const uint32_t needed = static_cast<uint32_t>(v.data.size());
  if (data != nullptr) {
    if (size == nullptr) return kErrorInvalidParameter;
    if (*size < needed) {
      *size = needed;
      return kErrorMoreData;
    }
    *data = v.data;
  }
  if (type != nullptr) *type = v.type;
  if (size != nullptr) *size = needed;
  return kErrorSuccess;
}

long RegCreateKeyEx(const std::string& path, uint32_t access, RegKey* key) {
  return sim::CreateKey(path, access, key);
}

long RegSetValueEx(const RegKey& key, const std::string& valueName, uint32_t type,
                   const std::string& data) {
  return sim::SetValue(key, valueName, type, data);
}

long RegDeleteTree(const std::string& path, uint32_t access) { return sim::DeleteTree(path, access); }

}  // namespace os

// The service control manager over [Services] of machine.ini.
#include "platform/sim/state.h"

namespace sim {
namespace {

constexpr long kErrorServiceCannotAcceptCtrl = 1061;

long Fail(long code) {
  M().lastError = static_cast<uint32_t>(code);
  return code;
}

ServiceEntry* ServiceOf(const os::ServiceHandle& handle) {
  HandleData* h = FindHandle(os::HandleKind::kService, handle.get());
  if (h == nullptr || h->isManager || h->serviceIndex >= M().services.size()) return nullptr;
  return &M().services[h->serviceIndex];
}

}  // namespace
}  // namespace sim

namespace os {

long OpenSCManager(uint32_t access, ServiceHandle* manager) {
  sim::HandleData h;
  h.kind = HandleKind::kService;
  h.isManager = true;
  *manager = ServiceHandle(sim::NewHandle(h));
  return kErrorSuccess;
}

long OpenService(const ServiceHandle& manager, const std::string& name, uint32_t access,
                 ServiceHandle* service) {
  sim::HandleData* m = sim::FindHandle(HandleKind::kService, manager.get());
  if (m == nullptr || !m->isManager) return sim::Fail(kErrorInvalidHandle);
  const auto& services = sim::M().services;
  for (size_t i = 0; i < services.size(); ++i) {
    if (sim::EqualNoCase(services[i].name, name)) {
      sim::HandleData h;
      h.kind = HandleKind::kService;
      h.serviceIndex = i;
      *service = ServiceHandle(sim::NewHandle(h));
      return kErrorSuccess;
    }
  }
  return sim::Fail(kErrorServiceDoesNotExist);
}

long ControlServiceStop(const ServiceHandle& service) {
  sim::ServiceEntry* s = sim::ServiceOf(service);
  if (s == nullptr) return sim::Fail(kErrorInvalidHandle);
  switch (s->state) {
    case kServiceStopped:
      return sim::Fail(kErrorServiceNotActive);
    case kServiceRunning:
    case kServicePaused:
    case kServiceContinuePending:
    case kServicePausePending:
      s->state = kServiceStopped;
      return kErrorSuccess;
    default:  // start or stop pending
      return sim::Fail(sim::kErrorServiceCannotAcceptCtrl);
  }
}

long StartService(const ServiceHandle& service) {
  sim::ServiceEntry* s = sim::ServiceOf(service);
  if (s == nullptr) return sim::Fail(kErrorInvalidHandle);
  if (s->state != kServiceStopped) return sim::Fail(kErrorServiceAlreadyRunning);
  s->state = kServiceRunning;
  return kErrorSuccess;
}

long EnumServicesStatus(const ServiceHandle& manager, uint32_t bufferBytes, uint32_t* bytesNeeded,
                        std::vector<ServiceStatusRecord>* services) {
  sim::HandleData* m = sim::FindHandle(HandleKind::kService, manager.get());
  if (m == nullptr || !m->isManager) return sim::Fail(kErrorInvalidHandle);
  // ENUM_SERVICE_STATUSA of a 32-bit process: two pointers and SERVICE_STATUS
  // (36 bytes), then the name and display name with their NULs.
  uint32_t needed = 0;
  for (const sim::ServiceEntry& s : sim::M().services) {
    needed += 36 + 2 * (static_cast<uint32_t>(s.name.size()) + 1);
  }
  if (bufferBytes < needed) {
    *bytesNeeded = needed;
    return sim::Fail(kErrorMoreData);
  }
  std::vector<ServiceStatusRecord> records;
  for (const sim::ServiceEntry& s : sim::M().services) records.push_back({s.name, s.name, s.state});
  *services = records;
  *bytesNeeded = 0;
  return kErrorSuccess;
}

}  // namespace os

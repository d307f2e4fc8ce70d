#include "frontend_api.h"

#include <cstring>

namespace dvb {

FrontendOps &Ops() {
    static FrontendOps ops = SystemFrontendOps();
    return ops;
}

void AddProperty(PropertyBatch *batch, std::uint32_t command, std::uint32_t data) {
    if (batch->count >= sizeof batch->props / sizeof batch->props[0]) return;
    dtv_property &property = batch->props[batch->count++];
    std::memset(&property, 0, sizeof property);
    property.cmd = command;
    property.u.data = data;
}

namespace {
int PropertyCall(int fd, unsigned long request, PropertyBatch *batch) {
    dtv_properties list{};
    list.num = batch->count;
    list.props = batch->props;
    return Ops().ioctl(fd, request, reinterpret_cast<std::uintptr_t>(&list));
}
}  // namespace

int SetProperties(int fd, PropertyBatch *batch) { return PropertyCall(fd, FE_SET_PROPERTY, batch); }
int GetProperties(int fd, PropertyBatch *batch) { return PropertyCall(fd, FE_GET_PROPERTY, batch); }

}  // namespace dvb

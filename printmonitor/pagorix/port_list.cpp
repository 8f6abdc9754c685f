#include "port_list.h"

#include <algorithm>

namespace pagorix {

int TvpjPortList::AddPortEntry(const std::u16string& portName, const std::u16string& monitorName) {
    auto port = std::make_unique<TvpjPort>();
    port->portName = portName;
    port->monitorName = monitorName;
    ports_.push_back(std::move(port));
    return int(ports_.size()) - 1;
}

int TvpjPortList::IndexOfName(const std::u16string& name) const {
    for (size_t i = 0; i < ports_.size(); ++i)
        if (ports_[i]->portName == name) return int(i);
    return -1;
}

int TvpjPortList::IndexOf(const TvpjPort* port) const {
    for (size_t i = 0; i < ports_.size(); ++i)
        if (ports_[i].get() == port) return int(i);
    return -1;
}

void TvpjPortList::Delete(int index) {
    if (index >= 0 && size_t(index) < ports_.size()) ports_.erase(ports_.begin() + index);
}

}  // namespace pagorix

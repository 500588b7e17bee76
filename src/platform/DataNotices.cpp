#include "platform/DataNotices.h"

DataNotices &DataNotices::get() {
    static DataNotices notices;
    return notices;
}

void DataNotices::add(const DataNotice &n) {
    for (const DataNotice &p : pending_)
        if (p == n) return;
    pending_.push_back(n);
    emit added();
}

std::vector<DataNotice> DataNotices::take() {
    std::vector<DataNotice> out;
    out.swap(pending_);
    return out;
}

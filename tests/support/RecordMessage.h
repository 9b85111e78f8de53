// Records laid out as in a received message, for the table operations that read them in place.
#pragma once

#include "Records.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace telv::test {

template <class Record>
class RecordMessage {
public:
    RecordMessage(std::initializer_list<Record> records) : RecordMessage(std::vector<Record>(records)) {}
    explicit RecordMessage(const std::vector<Record>& records) {
        for (const Record& r : records) bytes_.insert(bytes_.end(), r.Bytes.begin(), r.Bytes.end());
        count_ = static_cast<std::uint32_t>(records.size());
    }
    operator RecordArray<Record>() const { return {bytes_.data(), count_}; }

private:
    std::vector<std::uint8_t> bytes_;
    std::uint32_t count_ = 0;
};

}  // namespace telv::test

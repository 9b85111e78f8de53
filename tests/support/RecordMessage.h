// Records laid out as in a received message, for the table operations that read them in place,
// and the few record fields the table, rate and metrics tests set.
#pragma once

#include "Records.h"

#include <cstdint>
#include <cstring>
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

// The fields a test gives a record; the rest of the record stays zero.
struct RecordFields {
    Handle handle = 0;
    const char* text = "";  // a channel's device ID, a client's type code
    std::uint8_t state = 0;
    std::uint32_t seconds = 0;  // on line
    std::uint32_t rx = 0;
    std::uint32_t tx = 0;
};

// The fields that channel, client and statistics records all have.
template <class Record>
Record WithCommonFields(Record r, const RecordFields& f) {
    r.SetState(f.state);
    r.SetSecondsOnLine(f.seconds);
    r.SetRxBytes(f.rx);
    r.SetTxBytes(f.tx);
    return r;
}

inline TELV_UDP_FULL_CHANEL_DATA ChanelRecord(const RecordFields& f) {
    TELV_UDP_FULL_CHANEL_DATA c;
    c.SetChanelHandle(f.handle);
    c.SetDeviceId(f.text, std::strlen(f.text));
    return WithCommonFields(c, f);
}

inline TELV_FULL_CLIENT_DATA ClientRecord(const RecordFields& f) {
    TELV_FULL_CLIENT_DATA c;
    c.SetClientHandle(f.handle);
    c.SetTypeCode(f.text, std::strlen(f.text));
    return WithCommonFields(c, f);
}

// A statistics record of a channel or a client: text has no field here.
inline TELV_STATISTICS_DATA StatisticsRecord(const RecordFields& f) {
    TELV_STATISTICS_DATA s;
    s.SetOwnHandle(f.handle);
    return WithCommonFields(s, f);
}

}  // namespace telv::test

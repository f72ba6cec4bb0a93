// Decoded records of every table, their fixed-width text encoding, display of stored dates,
// and the framing of the result blobs with their upgrades from older layouts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "store/db_engine.h"

namespace vesk {

// The members of a record in field order, as Pack and Unpack walk them.
class MemberList {
  public:
    enum class Kind { Integer, Number, Text };
    struct Member {
        Kind kind;
        void* value;
    };
    MemberList& operator()(std::int32_t& v) { return Add(Kind::Integer, &v); }
    MemberList& operator()(double& v) { return Add(Kind::Number, &v); }
    MemberList& operator()(std::string& v) { return Add(Kind::Text, &v); }
    const std::vector<Member>& Members() const { return m_members; }

  private:
    MemberList& Add(Kind kind, void* value) {
        m_members.push_back({kind, value});
        return *this;
    }
    std::vector<Member> m_members;
};

struct FolderRecord {
    std::int32_t folderId = 0;
    std::string type;  // "I", "A" or "N"
    std::string name, place, date, title, comment;
    double scale = 0.0;
    void Members(MemberList& m) { m(folderId)(type)(name)(place)(date)(title)(comment)(scale); }
    // The model scale the analyses divide SAMPLING by: SCALE, where 0 counts as 1.
    double TimeScale() const { return scale == 0 ? 1.0 : scale; }
};

struct ImpulseRecord {
    std::int32_t folderId = 0, impulseId = 0, sampling = 0, mesTime = 0, mesNum = 0, channel = 0,
                 bit = 0;
    std::string time, title, comment;
    std::int32_t useFilter = 0, iFilterId = 0;
    double temperature = 0.0, humidity = 0.0;
    std::int32_t multiplier = 0;
    int noMls = 0;  // not a field: set on read when the stored MESTIME is 50 or more
    void Members(MemberList& m) {
        m(folderId)(impulseId)(
            sampling)(mesTime)(mesNum)(channel)(bit)(time)(title)(comment)(useFilter)(iFilterId)(temperature)(humidity)(multiplier);
    }
};

struct AcfRecord {
    std::int32_t folderId = 0, acfId = 0, sampling = 0, channel = 0, sampleNum = 0;
    double dataTime = 0.0;
    std::string time, title, comment;
    void Members(MemberList& m) {
        m(folderId)(acfId)(sampling)(channel)(sampleNum)(dataTime)(time)(title)(comment);
    }
};

struct NmsRecord {
    std::int32_t folderId = 0, nmsId = 0, sampling = 0, channel = 0, sampleNum = 0, number = 0;
    double dataTime = 0.0;
    std::string time;
    std::int32_t condSize = 0, factSize = 0, nNmsFact = 0;
    void Members(MemberList& m) {
        m(folderId)(nmsId)(
            sampling)(channel)(sampleNum)(number)(dataTime)(time)(condSize)(factSize)(nNmsFact);
    }
};

struct NsTmpRecord {
    std::int32_t nsTmpId = 0;
    std::string nsTmpName;
    void Members(MemberList& m) { m(nsTmpId)(nsTmpName); }
};

struct AcParamBand {
    std::int32_t freq = 0;  // band index: 0 "All(F)", -1 "All(A)", k >= 1 band k
    double splL = 0, splR = 0, aL = 0, aR = 0, tsubL = 0, tsubR = 0, iacc = 0, tiacc = 0, wiacc = 0;
};

constexpr int kAcParamBands = 34;

struct AcParamRecord {
    std::int32_t impulseId = 0, nData = 0, freqBand = 0, aFilter = 0, splRefData = 0;
    double splRefLevel = 0, dt1MinTime = 0, tsubEnd = 0;
    std::int32_t tsubAuto = 0;
    double tsubNoise = 0, iaccWLevel = 0, prefSpl = 0, prefTauE = 0;
    double deltaT0L = 0, deltaT0R = 0, deltaT1L = 0, deltaT1R = 0;  // ms
    std::array<AcParamBand, kAcParamBands> bands{};
    void Members(MemberList& m) {
        m(impulseId)(nData)(
            freqBand)(aFilter)(splRefData)(splRefLevel)(dt1MinTime)(tsubEnd)(tsubAuto)(tsubNoise)(iaccWLevel)(prefSpl)(prefTauE)(deltaT0L)(deltaT0R)(deltaT1L)(deltaT1R);
        for (auto& b : bands)
            m(b.freq)(b.splL)(b.splR)(b.aL)(b.aR)(b.tsubL)(b.tsubR)(b.iacc)(b.tiacc)(b.wiacc);
    }
};

struct AcfFactRecord {
    std::int32_t acfId = 0, condSize = 0, factSize = 0, nAcfFact = 0;
    void Members(MemberList& m) { m(acfId)(condSize)(factSize)(nAcfFact); }
};

// Encodes the members into a record buffer of the given fields; 0 or a status.
// A value whose text is wider than its field is refused with db::kValueTooWide.
DbStatus PackMembers(const std::vector<FieldDescriptor>& fields, const MemberList& members,
                     char* buffer);
DbStatus UnpackMembers(const std::vector<FieldDescriptor>& fields, const char* buffer,
                       const MemberList& members);

template <class Record>
DbStatus Pack(const std::vector<FieldDescriptor>& fields, Record& record, char* buffer) {
    MemberList m;
    record.Members(m);
    return PackMembers(fields, m, buffer);
}

template <class Record>
DbStatus Unpack(const std::vector<FieldDescriptor>& fields, const char* buffer, Record* record) {
    MemberList m;
    record->Members(m);
    return UnpackMembers(fields, buffer, m);
}

// The bytes of `text` that fit `width` without splitting a UTF-8 character: what a text field
// of that width keeps of it.
std::size_t Utf8FitLength(const char* text, std::size_t length, std::size_t width);

// "%8ld" of an ID: the lookup key of every ID index.
std::string FormatKey(long id);

// YYYYMMDD -> YYYY/MM/DD, YYYYMMDDhhmmss -> YYYY/MM/DD hh:mm:ss; other lengths leave out as it was.
void FormatDateTime(const std::string& text, std::string* out);
std::string FormatDateTime(const std::string& text);

// Blob sizes and framings of the result blobs.
namespace blob {
constexpr std::uint32_t kAcfCondSize = 84;  // ACFCOND2
constexpr std::uint32_t kAcfFactorSize = 40;
constexpr std::uint32_t kAcfPeakSize = 80;
constexpr std::uint32_t kAcfFactSizeField = 20;  // FACTSIZE stored in ACFFACT
constexpr std::uint32_t kNmsCondSize = 416;
constexpr std::uint32_t kNmsCondSizeOld = 412;
constexpr std::uint32_t kNmsFactorSize = 40;
constexpr std::uint32_t kNoiseSourceSize = 48;
constexpr std::uint32_t kNsTmpDataSize = 100;
}  // namespace blob

// Brings an NMSCOND blob of the 412-byte layout up to 416 bytes in place.
void UpgradeNmsCondition(std::int32_t condSize,
                         std::array<unsigned char, blob::kNmsCondSize>* cond);
// Brings NMSFACTOR records of 32 or 36 bytes up to 40 bytes in place; the buffer holds
// count * 40 bytes with the stored records at its start. Updates factSize.
void UpgradeNmsFactors(std::int32_t* factSize, std::int32_t count,
                       std::vector<unsigned char>* factors);

}  // namespace vesk

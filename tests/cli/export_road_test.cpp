// The whole road of the ISO 3382-1 set: import, calc, JSON and table export, reopening, an
// older store without the table, and check/repair of the table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/audio.h"
#include "export/structured_files.h"
#include "store/tables.h"
#include "tests/cli/cli_fixture.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

// A strict reader of the JSON grammar (RFC 8259), enough to walk what export writes.
struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;
    const Json& operator[](const std::string& key) const {
        static const Json none;
        for (const auto& [k, v] : members)
            if (k == key) return v;
        return none;
    }
    bool Has(const std::string& key) const {
        for (const auto& [k, v] : members)
            if (k == key) return true;
        return false;
    }
};

class JsonReader {
  public:
    explicit JsonReader(const std::string& s) : m_s(s) {}
    bool Document(Json* out) {
        Space();
        if (!Value(out)) return false;
        Space();
        return m_i == m_s.size();
    }

  private:
    void Space() {
        while (m_i < m_s.size() &&
               (m_s[m_i] == ' ' || m_s[m_i] == '\n' || m_s[m_i] == '\r' || m_s[m_i] == '\t'))
            ++m_i;
    }
    bool Literal(const char* word) {
        const std::string w(word);
        if (m_s.compare(m_i, w.size(), w) != 0) return false;
        m_i += w.size();
        return true;
    }
    bool String(std::string* out) {
        if (m_s[m_i] != '"') return false;
        for (++m_i; m_i < m_s.size(); ++m_i) {
            const unsigned char c = static_cast<unsigned char>(m_s[m_i]);
            if (c == '"') {
                ++m_i;
                return true;
            }
            if (c < 0x20) return false;
            if (c == '\\') {
                if (++m_i >= m_s.size()) return false;
                const char e = m_s[m_i];
                if (e == 'u') {
                    if (m_i + 4 >= m_s.size()) return false;
                    for (int k = 1; k <= 4; ++k)
                        if (!std::isxdigit(static_cast<unsigned char>(m_s[m_i + k]))) return false;
                    out->push_back('?');
                    m_i += 4;
                } else if (std::string("\"\\/bfnrt").find(e) != std::string::npos) {
                    out->push_back(e == 'n' ? '\n' : e);
                } else {
                    return false;
                }
            } else {
                out->push_back(static_cast<char>(c));
            }
        }
        return false;
    }
    bool Value(Json* out) {
        if (m_i >= m_s.size()) return false;
        const char c = m_s[m_i];
        if (c == 'n') return out->kind = Json::Null, Literal("null");
        if (c == 't') return out->kind = Json::Bool, Literal("true");
        if (c == 'f') return out->kind = Json::Bool, Literal("false");
        if (c == '"') return out->kind = Json::String, String(&out->text);
        if (c == '[' || c == '{') {
            const bool object = c == '{';
            out->kind = object ? Json::Object : Json::Array;
            ++m_i;
            Space();
            if (m_i < m_s.size() && m_s[m_i] == (object ? '}' : ']')) return ++m_i, true;
            for (;;) {
                Space();
                std::string key;
                if (object) {
                    if (m_i >= m_s.size() || !String(&key)) return false;
                    Space();
                    if (m_i >= m_s.size() || m_s[m_i++] != ':') return false;
                    Space();
                }
                Json v;
                if (!Value(&v)) return false;
                if (object)
                    out->members.push_back({key, v});
                else
                    out->items.push_back(v);
                Space();
                if (m_i >= m_s.size()) return false;
                if (m_s[m_i] == ',') {
                    ++m_i;
                    continue;
                }
                return m_s[m_i++] == (object ? '}' : ']');
            }
        }
        // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
        const std::size_t start = m_i;
        if (m_s[m_i] == '-') ++m_i;
        auto digits = [&] {
            const std::size_t from = m_i;
            while (m_i < m_s.size() && std::isdigit(static_cast<unsigned char>(m_s[m_i])))
                ++m_i;
            return m_i - from;
        };
        if (m_i >= m_s.size()) return false;
        if (m_s[m_i] == '0')
            ++m_i;
        else if (digits() == 0)
            return false;
        if (m_i < m_s.size() && m_s[m_i] == '.' && (++m_i, digits() == 0)) return false;
        if (m_i < m_s.size() && (m_s[m_i] == 'e' || m_s[m_i] == 'E')) {
            ++m_i;
            if (m_i < m_s.size() && (m_s[m_i] == '+' || m_s[m_i] == '-')) ++m_i;
            if (digits() == 0) return false;
        }
        out->kind = Json::Number;
        out->number = std::strtod(m_s.substr(start, m_i - start).c_str(), nullptr);
        return true;
    }
    const std::string& m_s;
    std::size_t m_i = 0;
};

TEST(ExportFields, CsvAndJsonTextsStayOneField) {
    EXPECT_EQ(CsvField("plain"), "plain");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\r\nlines"), "\"two\r\nlines\"");
    std::vector<std::vector<std::string>> rows;
    ASSERT_TRUE(test::ReadCsv(CsvField("x, \"y\"\r\nz") + "," + CsvField("w") + "\r\n", &rows));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "x, \"y\"\r\nz");

    // Control characters, quotes and broken UTF-8 (a lone continuation byte, a cut sequence,
    // an overlong form, a surrogate) still give one valid string.
    const std::string hostile = std::string("q\"b\\s\x01\ttab\n\xC3\xA9") + "\x80" + "\xE3\x81" +
                                "\xC0\xAF" + "\xED\xA0\x80" + "end";
    const std::string literal = JsonString(hostile);
    Json j;
    ASSERT_TRUE(JsonReader(literal).Document(&j)) << literal;
    EXPECT_EQ(j.kind, Json::String);
    EXPECT_NE(literal.find("\xC3\xA9"), std::string::npos);  // good UTF-8 passes
    // Each byte that starts no well-formed sequence is one U+FFFD: 80 | E3 81 | C0 AF | ED A0 80.
    std::size_t replaced = 0;
    for (std::size_t at = literal.find("\xEF\xBF\xBD"); at != std::string::npos;
         at = literal.find("\xEF\xBF\xBD", at + 3))
        ++replaced;
    EXPECT_EQ(replaced, 8u);
}

class ExportRoad : public test::CliTest {
  protected:
    // A binaural room response as measured: 20 ms of leading noise, a decay of T = 1 s in
    // independent noise per ear, a noise floor 60 dB below the peak, full scale, and trailing
    // digital silence.
    void WriteRoom(const std::string& name, int rate) {
        std::mt19937 g(7);
        std::normal_distribution<double> n(0, 1);
        const std::size_t lead = static_cast<std::size_t>(0.02 * rate),
                          decay = static_cast<std::size_t>(1.4 * rate),
                          silence = static_cast<std::size_t>(0.3 * rate);
        std::vector<double> x(2 * (lead + decay + silence), 0.0);
        double peak = 0;
        for (std::size_t i = 0; i < lead + decay; ++i)
            for (int ch = 0; ch < 2; ++ch) {
                const double t = i < lead ? 0 : static_cast<double>(i - lead) / rate;
                const double env = i < lead ? 0 : std::pow(10.0, -3.0 * t);
                const double v = env * n(g) + 1e-3 * n(g);
                x[2 * i + ch] = v;
                peak = std::max(peak, std::fabs(v));
            }
        std::vector<std::int16_t> pcm(x.size());
        for (std::size_t i = 0; i < x.size(); ++i)
            pcm[i] = static_cast<std::int16_t>(std::lround(32000 * x[i] / peak));
        ASSERT_TRUE(cli::WriteWavFile(dir.File(name), 2, rate, pcm));
    }
    Json ReadJson(const std::string& file) {
        Json j;
        const std::string text = Text(file);
        EXPECT_TRUE(JsonReader(text).Document(&j)) << file;
        return j;
    }
};

const Json* Band(const Json& m, const std::string& label) {
    for (const Json& b : m["bands"].items)
        if (b["band"].text == label) return &b;
    return nullptr;
}

TEST_F(ExportRoad, CalcExportsTheIsoSetAsJsonAndTableAndSurvivesReopening) {
    WriteRoom("Row 5, \"centre\".wav", 48000);
    auto r = Run("import --kind ir --title Hall 'Row 5, \"centre\".wav'");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(Run("calc 1").status, 0);
    ASSERT_EQ(Run("export 1 hall.json").status, 0);
    ASSERT_EQ(Run("export 1 hall.txt").status, 0);
    ASSERT_EQ(Run("export 1 hall.csv --table").status, 0);

    const Json doc = ReadJson("hall.json");
    EXPECT_EQ(doc["folder"]["kind"].text, "I");
    ASSERT_EQ(doc["measurements"].items.size(), 1u);
    const Json& m = doc["measurements"].items[0];
    EXPECT_EQ(m["title"].text, "Row 5, \"centre\"");
    EXPECT_EQ(m["fs"].number, 48000);
    // The single numbers of a 1 s decay 60 dB above its noise.
    for (const char* key : {"EDT", "T20", "T30"})
        EXPECT_NEAR(m["single"][key].number, 1.0, 0.05) << key;
    EXPECT_EQ(m["single"]["IACC_E3"].kind, Json::Number);
    EXPECT_LT(m["single"]["IACC_E3"].number, 0.5);  // independent ears
    const Json* k1 = Band(m, "1000");
    ASSERT_NE(k1, nullptr);
    for (const char* ear : {"left", "right"}) {
        const Json& c = (*k1)[ear];
        EXPECT_NEAR(c["T30"].number, 1.0, 0.05) << ear;
        EXPECT_LT(c["T30_r"].number, -0.99) << ear;
        EXPECT_GT(c["INR"].number, 45) << ear;
        EXPECT_EQ(c["flags"].kind, Json::Array) << ear;
        EXPECT_GT(c["Tsub_range"].number, 0) << ear;
        EXPECT_LT(c["Tsub_r"].number, -0.9) << ear;
        for (const char* key : {"SPL", "dt1", "A", "Tsub", "EDT", "T20", "EDT_r", "T20_r", "xi",
                                "curvature", "C50", "C80", "D50", "Ts"})
            EXPECT_TRUE(c.Has(key)) << ear << " " << key;
    }
    for (const char* key : {"IACC", "tau_IACC", "WIACC", "IACC_E", "IACC_L", "IACC_A"})
        EXPECT_TRUE(k1->Has(key)) << key;

    // Every value of the text file has the same number in JSON: Tsub-L of every band.
    const std::string text = Text("hall.txt");
    const std::size_t at = text.find("Tsub-L=");
    ASSERT_NE(at, std::string::npos);
    std::istringstream tsub(text.substr(at + 7, text.find(" [sec]", at) - at - 7));
    std::string shown;
    for (const Json& b : m["bands"].items) {
        ASSERT_TRUE(tsub >> shown);
        const Json& v = b["left"]["Tsub"];
        if (shown == "----")
            EXPECT_EQ(v.kind, Json::Null) << b["band"].text;
        else
            EXPECT_DOUBLE_EQ(v.number, std::stod(shown)) << b["band"].text;
    }

    // The table: one header and one row per band (and the single numbers), all of one width.
    std::vector<std::vector<std::string>> rows;
    ASSERT_TRUE(test::ReadCsv(Text("hall.csv"), &rows));
    ASSERT_EQ(rows.size(), m["bands"].items.size() + 2);
    for (const auto& row : rows)
        EXPECT_EQ(row.size(), rows[0].size());
    EXPECT_EQ(rows[1][2], "Row 5, \"centre\"");
    std::size_t t30 = 0;
    for (std::size_t c = 0; c < rows[0].size(); ++c)
        if (rows[0][c] == "left T30") t30 = c;
    ASSERT_GT(t30, 0u);
    for (std::size_t i = 1; i + 1 < rows.size(); ++i) {
        const Json& v = m["bands"].items[i - 1]["left"]["T30"];
        EXPECT_EQ(rows[i][t30].empty(), v.kind == Json::Null) << i;
        if (!rows[i][t30].empty()) {
            EXPECT_DOUBLE_EQ(std::stod(rows[i][t30]), v.number) << i;
        }
    }

    // Reopened, the store gives the same files; check finds the table in order.
    const std::string first = Text("hall.json");
    EXPECT_EQ(Run("check").status, 0);
    ASSERT_EQ(Run("export 1 again.json").status, 0);
    EXPECT_EQ(Text("again.json"), first);

    // An unwritable target is bad input, and nothing is left beside it.
    r = Run("export 1 missing/x.json");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Can't create the output file missing/x.json."), std::string::npos);
    EXPECT_EQ(Run("export 1 hall.json --table").status, 2);
}

TEST_F(ExportRoad, AnOlderStoreWithoutTheTableOpensExportsAndCalculates) {
    WriteRoom("seat.wav", 44100);
    ASSERT_EQ(Run("import --kind ir --title Old seat.wav").status, 0);
    ASSERT_EQ(Run("calc 1").status, 0);
    for (const char* f : {"ISOPARAM.DBF", "ISOPARAM.BIN", "ISOPARAM1.EDX"})
        std::filesystem::remove(dir.File(std::string("DATA/") + f));
    EXPECT_EQ(Run("check").status, 0);
    ASSERT_EQ(Run("export 1 old.json").status, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("DATA/ISOPARAM.DBF")));
    Json doc = ReadJson("old.json");
    const Json& m = doc["measurements"].items[0];
    EXPECT_EQ(m["single"].kind, Json::Null);
    ASSERT_NE(Band(m, "1000"), nullptr);
    EXPECT_EQ((*Band(m, "1000"))["left"]["T30"].kind, Json::Null);
    EXPECT_EQ((*Band(m, "1000"))["left"]["Tsub"].kind, Json::Number);

    ASSERT_EQ(Run("calc 1 --target all").status, 0);
    ASSERT_EQ(Run("export 1 new.json").status, 0);
    doc = ReadJson("new.json");
    EXPECT_NEAR(doc["measurements"].items[0]["single"]["T30"].number, 1.0, 0.05);
}

TEST_F(ExportRoad, CheckFindsAndRepairsOrphansAndUnpairedRows) {
    WriteRoom("a.wav", 48000);
    ASSERT_EQ(Run("import --kind ir --title Pair a.wav a.wav a.wav").status, 0);
    ASSERT_EQ(Run("calc 1").status, 0);
    {
        test::ScriptedMessages messages;
        ASSERT_TRUE(ConnectStoreAt(dir.File("DATA")));
        // Measurement 1 vanishes behind the results' back: its ISO row is an orphan.
        CImpulseTable impulses;
        ASSERT_TRUE(impulses.Open());
        const std::string key = FormatKey(1);
        ASSERT_EQ(impulses.SelectIndex(impulses.Index2()), db::kOk);
        ASSERT_EQ(impulses.DeleteByKey(key.data(), 8, 1), db::kOk);
        // Measurement 2's ACPARAM record is rewritten with another band set: its ISO row belongs
        // to no record any more.
        CAcParamTable acparams;
        AcParamRecord p;
        ASSERT_TRUE(acparams.Open() && acparams.Read(2, &p));
        p.nData = 1;
        ASSERT_EQ(acparams.Write(p), db::kOk);
        // Measurement 3's newest slot is damaged.
        CIsoParamTable iso;
        IsoParamRecord row;
        ASSERT_TRUE(iso.Open() && iso.ReadRecord(3, &row));
        const unsigned char junk[24] = {'V', 'I', 'S', '1'};
        ASSERT_EQ(iso.WriteBlob("ISODATAA", junk, sizeof junk), db::kOk);
    }
    auto r = Run("check");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("ISOPARAM: result of measurement 1, which is gone (orphan)"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("ISOPARAM: result of measurement 2: parts disagree"), std::string::npos);
    EXPECT_NE(r.out.find("ISOPARAM: result of measurement 3: parts disagree"), std::string::npos);
    r = Run("--yes check --repair");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(Run("check").status, 0);
    ASSERT_EQ(Run("export 1 after.json").status, 0);
}

}  // namespace
}  // namespace vesk

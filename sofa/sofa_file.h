// Impulse responses from SOFA files (AES69): binaural and room responses as the desktop and the
// command line import them. A file is opened and checked once; then each chosen response is read
// on its own, so a file of many measurements never sits whole in memory.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace vesk::sofa {

// Bounds on what a file may declare, checked before anything is allocated. A response of more
// than 2^24 frames is longer than anything the analyses take (as for audio files); the counts
// are far above published HRIR and room sets (a few thousand directions, dozens of receivers).
constexpr std::size_t kMaxSamples = std::size_t{1} << 24;  // N, and N plus a delay
constexpr std::size_t kMaxMeasurements = 1000000;          // M
constexpr std::size_t kMaxReceivers = 4096;                // R
constexpr std::size_t kMaxEmitters = 4096;                 // E
// All responses taken without a choice: more need --measurement (the desktop asks).
constexpr std::size_t kMaxUnchosen = 1000;
// The samples of all chosen responses together (1 GiB as float, half that as 16 bits).
constexpr std::size_t kMaxChosenSamples = std::size_t{1} << 28;

enum class Coordinates { kCartesian, kSpherical, kOther };

// One position variable with its Type and Units attributes: one row for the whole file, or one
// per measurement (source, listener), receiver or emitter. Empty when the file has none.
struct Positions {
    Coordinates type = Coordinates::kCartesian;
    std::string typeName;  // as the file says: "cartesian", "spherical"
    std::string units;     // as the file says: "metre", "degree, degree, metre"
    std::vector<std::array<double, 3>> rows;
    // The row for index i: the only row, or row i.
    const std::array<double, 3>& At(std::size_t i) const {
        return rows.size() == 1 ? rows[0] : rows[i];
    }
};

struct FileInfo {
    std::string conventions;  // SOFAConventions
    std::string dataType;     // FIR, or FIRE for [M R E N] data
    std::size_t measurements = 0, receivers = 0, emitters = 1, samples = 0;
    int sampleRate = 0;
    // Source and listener per measurement; receivers relative to the listener and emitters
    // relative to the source, as given for the first measurement.
    Positions source, listener, receiver, emitter;
    std::vector<std::string> notes;  // what the reader assumed or changed, for the user
};

// One response: the responses of a file are its measurements, or for [M R E N] data its
// (measurement, emitter) pairs, numbered from 1 measurement by measurement.
struct Response {
    std::size_t number = 0;
    std::string title;  // the source and listener positions
    int sampleRate = 0;
    std::vector<std::vector<float>> channels;  // the chosen receivers, in their order
};

// What to take: response numbers and receivers (left, right), both from 1. No numbers: all of
// them (at most kMaxUnchosen). No receivers: 1 and 2, or 1 from a one-receiver file.
struct Choice {
    std::vector<std::size_t> responses;
    std::vector<int> receivers;
};

// True for a name that ends in ".sofa" (any case).
bool IsSofaPath(const std::string& path);

class File {
  public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens and checks a file: the netCDF/HDF5 signature, conventions of impulse responses, the
    // shapes of Data.IR, Data.SamplingRate and Data.Delay, positions. false with a message that
    // names the file otherwise.
    bool Open(const std::string& path, std::string* error);
    const FileInfo& Info() const { return m_info; }
    std::size_t ResponseCount() const { return m_info.measurements * m_info.emitters; }

    // Resolves a choice against the file: numbers and receivers in range, the counts within
    // their bounds. The receivers come back 0-based.
    bool Choose(const Choice& choice, std::vector<std::size_t>* numbers,
                std::vector<std::size_t>* receivers, std::string* error) const;
    // Reads response `number` (from 1) for the receivers Choose gave, with its delays applied.
    bool Read(std::size_t number, const std::vector<std::size_t>& receivers, Response* out,
              std::string* error) const;

  private:
    bool Fail(const std::string& what, std::string* error) const;
    int m_ncid = -1;
    bool m_ready = false;  // Open succeeded: the checks hold
    int m_irVar = -1, m_delayVar = -1;
    bool m_delayPerMeasurement = false;
    std::string m_path;
    FileInfo m_info;
};

// The title of a response: "src 2,0,1.5 lis 0,0,1.2" (metres) or "src az30 el0 r1.5 lis 0,0,0",
// led by "e2 " for the emitter of [M R E N] data. A position that is the same for the whole file
// is left out when the whole would not fit `width` bytes.
std::string ResponseTitle(const FileInfo& info, std::size_t measurement, std::size_t emitter,
                          std::size_t width = 30);

// Opens a file and reads every chosen response at once (at most kMaxChosenSamples together);
// an importer that converts each response as it comes uses File instead.
bool ReadResponses(const std::string& path, const Choice& choice, std::vector<Response>* out,
                   std::vector<std::string>* notes, std::string* error);

}  // namespace vesk::sofa

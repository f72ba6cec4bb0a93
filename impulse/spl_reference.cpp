#include "impulse/spl_reference.h"

#include <algorithm>

#include "impulse/impulse_analysis.h"
#include "store/tables.h"

namespace vesk {

double SplReferenceOffset(std::int32_t choice, std::int32_t folderId, double referenceLevel) {
    if (choice == -2) return 0.0;
    CAcParamTable results;
    if (!results.Open()) return 0.0;
    AcParamRecord r;
    if (choice == -1) {
        CImpulseTable measurements;
        long count = 0;
        double maximum = 0.0;
        if (measurements.Open() && measurements.SetScopeTo(folderId, &count)) {
            std::vector<ImpulseRecord> records;
            ImpulseRecord m;
            while (measurements.ReadNext(&m))
                records.push_back(m);
            for (const ImpulseRecord& m2 : records) {
                if (!results.Read(m2.impulseId, &r)) continue;
                maximum = std::max(maximum, r.bands[0].splL);
                if (m2.channel == 2) maximum = std::max(maximum, r.bands[0].splR);
            }
        }
        return referenceLevel - maximum;
    }
    if (!results.Read(choice, &r)) return 0.0;
    const AcParamBand& b = r.bands[0];
    return referenceLevel - (b.splR != 0.0 ? ListeningLevel(b.splL, b.splR) : b.splL);
}

}  // namespace vesk

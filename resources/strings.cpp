#include "resources/strings.h"

#include <algorithm>
#include <iterator>

namespace vesk {

namespace {
struct Entry {
    int id;
    const char* text;
};

// Kept sorted by ID.
constexpr Entry kStrings[] = {
    {100, "About Vesk"},
    {101, "Orvanel Version 1.0.1"},
    {128, "Orvanel\n\nVesk\n\n\nVesk.Document\nVesk Document"},
    {3006, "Calculating the acoustic parameters."},
    {3007, "Choose *.txt or *.csv as file extension."},
    {3008, "Date"},
    {3009, "Calc."},
    {3014, "Name"},
    {3015, "Place"},
    {3016, "Scale"},
    {3026, "Title"},
    {3027, "Comment"},
    {3047, "Type"},
    {3502, "Tau-e must be positive number."},
    {3515, "Select the data."},
    {3518, "Select the folder."},
    {3531, "Save calculation output?"},
    {3538, "Cancel action?"},
    {3543, "Can't read measured data."},
    {4012, "ENG"},
    {4021, "Date / Time"},
    {4022, "Noise Source"},
    {4023, "Evaluation"},
    {4024, "No."},
    {4030, "Unknown"},
    {4100, "Need convert impulse response data file. Are you sure?"},
    {4101, "Need convert from old folder recording file into new one. Are you sure?"},
    {4104, "Delete old calculation file. Are you sure?"},
    {4105, "Need convert from old running ACF file into new one. Are you sure?"},
    {4106, "Need convert from old noise measurement file into new one. Are you sure?"},
    {4107, "Delete selected folder with all data in. Are you sure?"},
    {4108, "Need convert from old noise template file into new one. Are you sure?"},
    {4200, "Can't create folder."},
    {4201, "Can't open folder."},
    {4202, "Can't convert folder."},
    {4203, "Can't create folder index file."},
    {4204, "Can't read folder."},
    {4207, "Can't create impulse response file."},
    {4208, "Can't open impulse response file."},
    {4209, "Can't convert impulse response file."},
    {4210, "Can't read impulse response file."},
    {4212, "Can't create calculation file."},
    {4213, "Can't open calclation file."},
    {4214, "Can't create calculation index file."},
    {4215, "Can't read calculation file."},
    {4216, "Can't find calculation file."},
    {4217, "Can't write calculation file."},
    {4241, "Can't create impulse response index file 1."},
    {4242, "Can't create impulse response index file 2."},
    {4243, "Can't delete impulse response data."},
    {4244, "Can't find folder."},
    {4245, "Can't delete folder."},
    {4246, "Can't find QZUPDATE.DLL."},
    {4247, "Can't execute Online update."},
    {4248, "Can't create running ACF file."},
    {4249, "Can't open running ACF file."},
    {4250, "Can't convert running ACF file."},
    {4251, "Can't read running ACF file."},
    {4253, "Can't create running ACF index file 1."},
    {4254, "Can't create running ACF index file 2."},
    {4255, "Can't create noise measurement file."},
    {4256, "Can't open noise measurement file."},
    {4257, "Can't convert noise measurement file."},
    {4258, "Can't read noise measurement file."},
    {4260, "Can't create noise measurement index file 1."},
    {4261, "Can't create noise measurement index file 2."},
    {4262, "Can't create noise template file."},
    {4263, "Can't open noise template file."},
    {4264, "Can't convert noise template file."},
    {4265, "Can't read noise template file."},
    {4266, "Can't write noise template file."},
    {4267, "Can't create noise template index file."},
    {4268, "Please input a name for this noise source."},
    {4269, "Can't open export file."},
    {4270, "Can't open import file."},
    {57344, "Vesk"},
    {59137, "CAP"},
    {59138, "NUM"},
    {59139, "SCRL"},
    {59142, "KANA"},
};
}  // namespace

const char* LoadString(int id) {
    auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                               [](const Entry& e, int v) { return e.id < v; });
    return it != std::end(kStrings) && it->id == id ? it->text : "";
}

}  // namespace vesk

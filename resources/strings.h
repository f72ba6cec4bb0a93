// The string table: every text the program shows, by its number.
#pragma once

namespace vesk {

// The text of a string ID, or "" for an ID the table does not hold.
const char* LoadString(int id);

namespace str {
constexpr int kAppName = 57344;
constexpr int kDocTemplate = 128;
constexpr int kLanguage = 4012;
constexpr int kCantReadMeasuredData = 3543;
constexpr int kSaveCalculationOutput = 3531;
constexpr int kTauEMustBePositive = 3502;
constexpr int kConvertImpulse = 4100;
constexpr int kConvertFolder = 4101;
constexpr int kDeleteOldCalculation = 4104;
constexpr int kConvertAcf = 4105;
constexpr int kConvertNms = 4106;
constexpr int kDeleteFolderQuestion = 4107;
constexpr int kConvertNsTmp = 4108;
constexpr int kCantCreateFolder = 4200;
constexpr int kCantOpenFolder = 4201;
constexpr int kCantConvertFolder = 4202;
constexpr int kCantCreateFolderIndex = 4203;
constexpr int kCantReadFolder = 4204;
constexpr int kCantCreateImpulse = 4207;
constexpr int kCantOpenImpulse = 4208;
constexpr int kCantConvertImpulse = 4209;
constexpr int kCantReadImpulse = 4210;
constexpr int kCantCreateCalc = 4212;
constexpr int kCantOpenCalc = 4213;
constexpr int kCantCreateCalcIndex = 4214;
constexpr int kCantReadCalc = 4215;
constexpr int kCantFindCalc = 4216;
constexpr int kCantWriteCalc = 4217;
constexpr int kCantCreateImpulseIndex1 = 4241;
constexpr int kCantCreateImpulseIndex2 = 4242;
constexpr int kCantDeleteImpulseData = 4243;
constexpr int kCantFindFolder = 4244;
constexpr int kCantDeleteFolder = 4245;
constexpr int kCantFindUpdateLibrary = 4246;
constexpr int kCantExecuteUpdate = 4247;
constexpr int kCantCreateAcf = 4248;
constexpr int kCantOpenAcf = 4249;
constexpr int kCantConvertAcf = 4250;
constexpr int kCantReadAcf = 4251;
constexpr int kCantCreateAcfIndex1 = 4253;
constexpr int kCantCreateAcfIndex2 = 4254;
constexpr int kCantCreateNms = 4255;
constexpr int kCantOpenNms = 4256;
constexpr int kCantConvertNms = 4257;
constexpr int kCantReadNms = 4258;
constexpr int kCantCreateNmsIndex1 = 4260;
constexpr int kCantCreateNmsIndex2 = 4261;
constexpr int kCantCreateNsTmp = 4262;
constexpr int kCantOpenNsTmp = 4263;
constexpr int kCantConvertNsTmp = 4264;
constexpr int kCantReadNsTmp = 4265;
constexpr int kCantWriteNsTmp = 4266;
constexpr int kCantCreateNsTmpIndex = 4267;
constexpr int kCalculating = 3006;
constexpr int kChooseExtension = 3007;
constexpr int kUnknownSource = 4030;
constexpr int kNoTemplateName = 4268;
constexpr int kCantOpenExportFile = 4269;
constexpr int kCantOpenImportFile = 4270;
constexpr int kColumnDate = 3008;
constexpr int kColumnCalc = 3009;
constexpr int kColumnName = 3014;
constexpr int kColumnPlace = 3015;
constexpr int kColumnScale = 3016;
constexpr int kColumnTitle = 3026;
constexpr int kColumnComment = 3027;
constexpr int kColumnType = 3047;
constexpr int kSelectTheData = 3515;
constexpr int kSelectTheFolder = 3518;
constexpr int kCancelAction = 3538;
constexpr int kColumnDateTime = 4021;
constexpr int kColumnNoiseSource = 4022;
constexpr int kColumnEvaluation = 4023;
constexpr int kColumnNumber = 4024;
constexpr int kAboutCaption = 100;
constexpr int kAboutVersion = 101;
constexpr int kIndicatorKana = 59142;
constexpr int kIndicatorCaps = 59137;
constexpr int kIndicatorNum = 59138;
constexpr int kIndicatorScroll = 59139;
}  // namespace str

}  // namespace vesk

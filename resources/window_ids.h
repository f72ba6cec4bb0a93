// Window, command and control IDs of the desktop program: the numbers of the original menus,
// dialog templates and controls, so that every reference to a control names the same thing.
#pragma once

namespace vesk::id {

// Menu 128 and toolbar 128.
constexpr int kFileNew = 57600;
constexpr int kFileOpen = 57601;
constexpr int kFileSave = 57603;
constexpr int kFilePrint = 57607;
constexpr int kFilePrintPreview = 57609;
constexpr int kFilePrintSetup = 57606;
constexpr int kAppExit = 57665;
constexpr int kAppAbout = 57664;
constexpr int kViewToolbar = 59392;
constexpr int kViewStatusBar = 59393;
constexpr int kRefreshViews = 32773;
constexpr int kShowParameters = 32774;
constexpr int kCalculation = 32775;
constexpr int kOutputFile = 32776;
constexpr int kOnlineUpdate = 32777;
constexpr int kNoiseTemplates = 32795;

// Dialog templates.
constexpr int kAboutDialog = 100;
constexpr int kSelectFolderDialog = 130;
constexpr int kImpulseConditionsDialog = 135;
constexpr int kAcfConditionsDialog = 142;
constexpr int kProgressDialog = 144;
constexpr int kNoiseConditionsDialog = 151;

// Select Folder (130).
constexpr int kFolderList = 1001;
constexpr int kDeleteFolder = 1072;
constexpr int kKindAll = 1078;
constexpr int kKindIr = 1079;
constexpr int kKindAcf = 1080;
constexpr int kKindNf = 1081;

// Progress (144).
constexpr int kProgressBar = 1002;
constexpr int kProgressText = 1021;
constexpr int kProgressCancel = 1011;

// Target data radio group shared by the conditions dialogs.
constexpr int kTargetNonCalculation = 1004;
constexpr int kTargetSelected = 1005;
constexpr int kTargetAll = 1006;

// Impulse-response "Calculation Conditions" (135).
constexpr int kBandOctave = 1007;
constexpr int kBandThirdOctave = 1008;
constexpr int kBandFrom = 1009;
constexpr int kBandTo = 1010;
constexpr int kAWeighting = 1012;
constexpr int kRefData = 1013;
constexpr int kRefLevel = 1014;
constexpr int kMinimumDelay = 1015;
constexpr int kEndOfRegression = 1016;
constexpr int kTsubAuto = 1017;
constexpr int kRateOfNoise = 1018;
constexpr int kWidthForWiacc = 1019;
constexpr int kOptimumSpl = 1020;
constexpr int kTauE = 1022;

// Running-ACF (142) and noise (151) "Calculation Conditions".
constexpr int kIntegrationTime = 1059;
constexpr int kRunningStep = 1071;
constexpr int kWeighting = 1061;
constexpr int kMaxDelayTime = 1062;
constexpr int kPeakDetectionTime = 1063;
constexpr int kEndOfRegressionLevel = 1064;
constexpr int kEndOfRegressionTime = 1065;
constexpr int kPhiZeroRefData = 1066;
constexpr int kPhiZeroRefLevel = 1067;
constexpr int kIncludingOrigin = 1084;
constexpr int kPeakDetectionA = 1088;
constexpr int kPeakDetectionB = 1089;
constexpr int kMaximumSpl = 1055;
constexpr int kMinimumTauE = 1056;
constexpr int kStepsBefore = 1066;  // in template 151, where 1066 is not the reference list
constexpr int kStepsAfter = 1067;

}  // namespace vesk::id

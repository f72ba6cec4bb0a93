// Window, command and control IDs of the desktop program: the numbers of the original menus,
// dialog templates and controls, so that every reference to a control names the same thing.
#pragma once

namespace vesk::id {

// Menu 128 and toolbar 128. wxWidgets takes window IDs below 32767 only: the framework's own
// commands (57600 and up) are wxWidgets' stock IDs, and the program's commands (32773 and up)
// keep their last digits, as 2773 and up.
constexpr int kFileNew = 5002;           // wxID_NEW; 57600
constexpr int kFileOpen = 5000;          // wxID_OPEN; 57601
constexpr int kFileSave = 5003;          // wxID_SAVE; 57603
constexpr int kFilePrint = 5010;         // wxID_PRINT; 57607
constexpr int kFilePrintPreview = 5013;  // wxID_PREVIEW; 57609
constexpr int kFilePrintSetup = 5011;    // wxID_PRINT_SETUP; 57606
constexpr int kAppExit = 5006;           // wxID_EXIT; 57665
constexpr int kAppAbout = 5014;          // wxID_ABOUT; 57664
constexpr int kViewToolbar = 2992;       // 59392
constexpr int kViewStatusBar = 2993;     // 59393
constexpr int kRefreshViews = 2773;      // 32773
constexpr int kShowParameters = 2774;    // 32774
constexpr int kCalculation = 2775;       // 32775
constexpr int kOutputFile = 2776;        // 32776
constexpr int kOnlineUpdate = 2777;      // 32777
constexpr int kNoiseTemplates = 2795;    // 32795
constexpr int kFileMeasure = 2850;       // File, "&Measure..."

// Dialog templates.
constexpr int kAboutDialog = 100;
constexpr int kSelectFolderDialog = 130;
constexpr int kImpulseConditionsDialog = 135;
constexpr int kAcfConditionsDialog = 142;
constexpr int kProgressDialog = 144;
constexpr int kNoiseConditionsDialog = 151;
constexpr int kTemplateEditorDialog = 500;
constexpr int kTemplateExportDialog = 501;
constexpr int kTemplateImportDialog = 502;

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

// "Noise Source Template" (500): the arrays by factor (Phi(0), tau-e, tau1, phi1), the weights
// by w0 .. w3. "&New" has the number 1 but is no default button, so Enter in a field saves
// nothing; "E&xit" is wxID_CANCEL, so Escape and the close box end the editor too.
constexpr int kTemplateList = 1018;  // also in Export (501) and Import (502)
constexpr int kTemplateNew = 1;
constexpr int kTemplateUpdate = 1000;
constexpr int kTemplateDelete = 1001;
constexpr int kTemplateExport = 1013;
constexpr int kTemplateImport = 1012;
constexpr int kTemplateName = 1037;
constexpr int kTemplateStandard[4] = {1038, 1039, 1042, 1041};
constexpr int kTemplateUpper[4] = {1024, 1027, 1033, 1030};
constexpr int kTemplateLower[4] = {1025, 1028, 1034, 1031};
constexpr int kTemplateUseUpper[4] = {1003, 1005, 1009, 1007};
constexpr int kTemplateUseLower[4] = {1004, 1006, 1010, 1008};
constexpr int kTemplateWeight[4] = {1026, 1029, 1035, 1032};
constexpr int kTemplateSetWeights = 1047;

// Export (501) and Import (502).
constexpr int kSelectAll = 1014;
constexpr int kRemoveAll = 1015;
constexpr int kImportMerge = 1016;
constexpr int kImportReplace = 1017;

// The buttons shared by the result dialogs (131, 148, 150).
constexpr int kScreenCopy = 7;

// The result dialogs: "Acoustic Parameters" (131), "ACF Factor" (148) and "Factor" (150).
constexpr int kAcousticParametersDialog = 131;
constexpr int kAcfFactorDialog = 148;
constexpr int kFactorDialog = 150;
constexpr int kResultPrevious = 4;
constexpr int kResultNext = 5;
constexpr int kResultSelectData = 6;
constexpr int kResultPages = 1002;
constexpr int kResultList = 1014;

// Their pages: the zoom bar of a time graph.
constexpr int kZoomScroll = 1075;
constexpr int kZoomIn = 1077;
constexpr int kZoomOut = 1079;
constexpr int kZoomAll = 1080;

// "Impulse response".
constexpr int kRecalculateTimes = 1016;
constexpr int kLeftDirect = 1017;
constexpr int kLeftReflection = 1018;
constexpr int kRightDirect = 1019;
constexpr int kRightReflection = 1020;
constexpr int kLeftResponseGraph = 1030;
constexpr int kRightResponseGraph = 1031;

// "Reverberation", with "Tsub Recalculation" (139).
constexpr int kDecayRight = 1025;
constexpr int kDecayBoth = 1026;
constexpr int kDecayLeft = 1027;
constexpr int kRecalculateTsub = 1028;
constexpr int kEchoGraph = 1034;
constexpr int kDecayGraph = 1036;
constexpr int kTsubDialog = 139;
constexpr int kTsubDialogEnd = 1011;
constexpr int kTsubDialogRate = 1012;
constexpr int kTsubDialogAuto = 1029;

// "Cross correlation", with "Change Width for WIACC" (140).
constexpr int kCrossCorrelationGraph = 1003;
constexpr int kChangeWiacc = 1057;
constexpr int kWiaccDialog = 140;
constexpr int kWiaccWidth = 1013;

// "Spectrum".
constexpr int kSmoothing = 1055;
constexpr int kLeftSpectrumGraph = 1076;
constexpr int kRightSpectrumGraph = 1078;

// "Preference": the fields, then S1, S2, S3, S4 and SS from kScaleValueFirst on.
constexpr int kPreferenceOptimumSpl = 1039;
constexpr int kPreferenceTauE = 1040;
constexpr int kScaleValueFirst = 1041;
constexpr int kPreferenceCalculate = 1046;
constexpr int kPreferenceOptimumTauE = 1047;

// "Parameters".
constexpr int kBandGraph = 1048;

// "ACF" and "IACF" of the factor dialogs.
constexpr int kFunctionGraph = 1082;
constexpr int kAcfLogarithm = 1083;

// "ISO 3382" (no number of the original: the page is this program's own).
constexpr int kIsoList = 1200;
constexpr int kIsoDecayGraph = 1201;

}  // namespace vesk::id

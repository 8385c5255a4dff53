#pragma once
// The settings pages' control ids. Each control's object name is its id (idName), so tests and
// tools find a control by the id the page gives it; ids are unique within a page only, so each
// page has a namespace of its own.
namespace vidora::ids {

// "Modify password" page.
namespace password {
inline constexpr int kNewPassword = 5001;
inline constexpr int kConfirmPassword = 5002;
inline constexpr int kOldPassword = 5042;
inline constexpr int kAskPassword = 5073;
}  // namespace password

// "Display" page.
namespace display {
inline constexpr int kStandard = 5039;
inline constexpr int kChannelName1 = 5042;
inline constexpr int kChannelName2 = 5044;
inline constexpr int kChannelName3 = 5043;
inline constexpr int kChannelName4 = 5045;
inline constexpr int kCycleHoursUpDown = 5048;
inline constexpr int kCycleMinutesUpDown = 5051;
inline constexpr int kCycleSecondsUpDown = 5053;
inline constexpr int kCycleMinutes = 5056;
inline constexpr int kCycleSeconds = 5057;
inline constexpr int kBrightness = 5067;
inline constexpr int kSharpness = 5071;
inline constexpr int kContrast = 5072;
inline constexpr int kSaturation = 5073;
inline constexpr int kCycleHours = 5099;
inline constexpr int kShowDate = 5100;
inline constexpr int kShowTime = 5101;
inline constexpr int kShowChannelName = 5102;
inline constexpr int kDefaults = 5103;
}  // namespace display

// "Alarm" page.
namespace alarm {
inline constexpr int kMotion1 = 5010;
inline constexpr int kSound1 = 5011;
inline constexpr int kRecord = 5013;
inline constexpr int kCapture = 5014;
inline constexpr int kPlaySound = 5015;
inline constexpr int kMotion2 = 5018;
inline constexpr int kSound2 = 5019;
inline constexpr int kMotion3 = 5020;
inline constexpr int kSound3 = 5021;
inline constexpr int kMotion4 = 5022;
inline constexpr int kSound4 = 5036;
inline constexpr int kRecordHours = 5023;
inline constexpr int kRecordHoursUpDown = 5074;
inline constexpr int kRecordMinutes = 5026;
inline constexpr int kRecordMinutesUpDown = 5027;
inline constexpr int kRecordSeconds = 5030;
inline constexpr int kRecordSecondsUpDown = 5031;
inline constexpr int kCaptureHours = 5025;
inline constexpr int kCaptureHoursUpDown = 5075;
inline constexpr int kCaptureMinutes = 5029;
inline constexpr int kCaptureMinutesUpDown = 5076;
inline constexpr int kCaptureSeconds = 5079;
inline constexpr int kCaptureSecondsUpDown = 5077;
inline constexpr int kFps = 5078;
inline constexpr int kFpsUpDown = 5048;
}  // namespace alarm

// "Record" page.
namespace record {
inline constexpr int kFrameRate = 5040;
inline constexpr int kFileFormat = 5069;
inline constexpr int kDrives = 5090;
inline constexpr int kCompression = 5091;
inline constexpr int kImageSize = 5092;
inline constexpr int kTotalLimit = 5093;
inline constexpr int kFileLimit = 5094;
inline constexpr int kDeleteOldest = 5095;
inline constexpr int kStopAndNotify = 5096;
inline constexpr int kFolder = 5097;
inline constexpr int kBrowse = 5098;
}  // namespace record

// "Capture" page.
namespace capture {
inline constexpr int kBrowse = 5080;
inline constexpr int kFormat = 5082;
inline constexpr int kSize = 5083;
inline constexpr int kLimit = 5084;
inline constexpr int kDeleteOldest = 5085;
inline constexpr int kStopAndNotify = 5086;
inline constexpr int kFolder = 5087;
}  // namespace capture

// "Plan task" page.
namespace plan {
inline constexpr int kLengthHoursUpDown = 5024;
inline constexpr int kCaptureSecondsUpDown = 5028;
inline constexpr int kCaptureFpsUpDown = 5032;
inline constexpr int kLengthHours = 5033;
inline constexpr int kLengthMinutesUpDown = 5034;
inline constexpr int kLengthMinutes = 5035;
inline constexpr int kTaskList = 5037;
inline constexpr int kNew = 5038;
inline constexpr int kAdd = 5039;
inline constexpr int kDelete = 5040;
inline constexpr int kWeekday = 5041;
inline constexpr int kOnce = 5044;
inline constexpr int kWeekly = 5045;
inline constexpr int kDaily = 5046;
inline constexpr int kMonthly = 5047;
inline constexpr int kRecorder = 5054;
inline constexpr int kCapture = 5059;
inline constexpr int kLengthSeconds = 5060;
inline constexpr int kCaptureSeconds = 5061;
inline constexpr int kCaptureFps = 5062;
inline constexpr int kLengthSecondsUpDown = 5063;
inline constexpr int kDate = 5089;
inline constexpr int kTime = 5110;
inline constexpr int kDay = 5111;
inline constexpr int kChannel = 5118;
inline constexpr int kDayLabel = 5121;
inline constexpr int kWeekdayLabel = 5122;
inline constexpr int kTimeLabel = 5124;
inline constexpr int kDateLabel = 5125;
}  // namespace plan

}  // namespace vidora::ids

#pragma once
// Every preferences key, pasteboard type and notification name of the app, in one place.
// The strings are the stored format: never change them.

// Timer settings
inline constexpr char kWorkMins[] = "workMins";
inline constexpr char kBreakMins[] = "breakMins";
inline constexpr char kLongBreakMins[] = "longBreakMins";
inline constexpr char kCyclesBeforeLong[] = "cyclesBeforeLong";
inline constexpr char kPomDailyGoal[] = "pomDailyGoal";
inline constexpr char kSoundOn[] = "soundEnabled";
inline constexpr char kNotifOn[] = "notifEnabled";
// Timer state
inline constexpr char kPhase[] = "savedPhase";
inline constexpr char kRemaining[] = "savedRemaining";
inline constexpr char kTimestamp[] = "savedTimestamp";
inline constexpr char kWasRunning[] = "savedRunning";
inline constexpr char kCycleCount[] = "savedCycleCount";
// Timer counters
inline constexpr char kPomTodayCount[] = "pomTodayCount";
inline constexpr char kPomTotalCount[] = "pomTotalCount";
inline constexpr char kPomFocusSecs[] = "pomFocusSecs";
inline constexpr char kPomStreak[] = "pomStreak";
inline constexpr char kPomLastDate[] = "pomLastDate";
inline constexpr char kPomStreakLast[] = "pomStreakLastDate";
// Health reminders
inline constexpr char kWaterMins[] = "waterMins";
inline constexpr char kEyesMins[] = "eyesMins";
inline constexpr char kPostureMins[] = "postureMins";
inline constexpr char kStretchMins[] = "stretchMins";
inline constexpr char kWaterOn[] = "waterOn";
inline constexpr char kEyesOn[] = "eyesOn";
inline constexpr char kPostureOn[] = "postureOn";
inline constexpr char kStretchOn[] = "stretchOn";
inline constexpr char kWaterSnd[] = "waterSnd";
inline constexpr char kEyesSnd[] = "eyesSnd";
inline constexpr char kPostureSnd[] = "postureSnd";
inline constexpr char kStretchSnd[] = "stretchSnd";
inline constexpr char kWaterTarget[] = "waterDailyTarget";
inline constexpr char kEyesTarget[] = "eyesDailyTarget";
inline constexpr char kPostureTarget[] = "postureDailyTarget";
inline constexpr char kStretchTarget[] = "stretchDailyTarget";
inline constexpr char kWaterShown[] = "waterShownToday";
inline constexpr char kEyesShown[] = "eyesShownToday";
inline constexpr char kPostureShown[] = "postureShownToday";
inline constexpr char kStretchShown[] = "stretchShownToday";
inline constexpr char kWaterShownDate[] = "waterShownDate";
inline constexpr char kEyesShownDate[] = "eyesShownDate";
inline constexpr char kPostureShownDate[] = "postureShownDate";
inline constexpr char kStretchShownDate[] = "stretchShownDate";
// Store documents
inline constexpr char kTasks[] = "savedTasks";
inline constexpr char kProjects[] = "savedProjects";
inline constexpr char kCustomReminders[] = "customReminders";
inline constexpr char kNotes[] = "savedNotes";
inline constexpr char kFinances[] = "savedFinances";
inline constexpr char kExerciseLibrary[] = "exerciseLibrary";
inline constexpr char kExerciseHistory[] = "exerciseHistory";
inline constexpr char kPlaylistState[] = "playlistState";
// Appearance
inline constexpr char kLanguage[] = "appLanguage";
inline constexpr char kTheme[] = "appTheme";
inline constexpr char kFontScale[] = "appFontScale";
inline constexpr char kAutostartDefaultSet[] = "autostartDefaultSet";

// Drag-and-drop MIME types
inline constexpr char taskDragType[] = "com.mivo.taskid";
inline constexpr char taskCopyDragType[] = "com.mivo.taskid.copy";
inline constexpr char exDragType[] = "com.mivo.exerciseid";
inline constexpr char plRowDragType[] = "com.mivo.plrow";

// The app's identity: single-instance lock and local server name.
inline constexpr char kBundleId[] = "com.mivo.app";

// Notification names (the string is the name itself).
namespace Notify {
inline constexpr char pomodoroChanged[] = "pomodoroChanged";
inline constexpr char healthChanged[] = "healthChanged";
inline constexpr char tasksChanged[] = "tasksChanged";
inline constexpr char financesChanged[] = "financesChanged";
inline constexpr char customRemindersChanged[] = "customRemindersChanged";
inline constexpr char exercisesChanged[] = "exercisesChanged";
inline constexpr char projectsChanged[] = "projectsChanged";
inline constexpr char notesChanged[] = "notesChanged";
inline constexpr char languageChanged[] = "languageChanged";
inline constexpr char themeChanged[] = "themeChanged";
inline constexpr char fontScaleChanged[] = "fontScaleChanged";
} // namespace Notify

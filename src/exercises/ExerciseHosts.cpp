#include "exercises/ExerciseHosts.h"

#include "exercises/ExerciseEditor.h"
#include "exercises/ExerciseRunnerPanel.h"

namespace {
ExerciseRunnerHost *g_runnerHost = nullptr;
ExerciseEditorHost *g_editorHost = nullptr;
} // namespace

ExerciseRunnerHost &ExerciseRunnerHost::get() {
    static RunnerPanelHost panel;
    return g_runnerHost ? *g_runnerHost : panel;
}
void ExerciseRunnerHost::install(ExerciseRunnerHost *host) {
    g_runnerHost = host;
}

ExerciseEditorHost &ExerciseEditorHost::get() {
    static EditorPanelHost panel;
    return g_editorHost ? *g_editorHost : panel;
}
void ExerciseEditorHost::install(ExerciseEditorHost *host) {
    g_editorHost = host;
}

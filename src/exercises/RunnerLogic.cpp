#include "exercises/RunnerLogic.h"

#include "exercises/ExerciseHistory.h"
#include "platform/Document.h"
#include "platform/Keys.h"
#include <algorithm>
#include <cmath>

namespace RunnerLogic {

std::pair<BreathePhase, AnimKind> animForBuiltIn(const Exercise &exercise, qint64 stepIdx) {
    const QString &id = exercise.id;
    if (BreathPhases::isBreathingExercise(id)) {
        if (stepIdx < 0 || stepIdx >= qint64(exercise.steps.size())) return {BreathePhase::inhale, AnimKind::none};
        return {BreathPhases::fromTitle(exercise.steps[size_t(stepIdx)].title), AnimKind::none};
    }
    if (stepIdx < 0) return {BreathePhase::none, AnimKind::none};
    auto pick = [stepIdx](AnimKind a, AnimKind b, AnimKind c) {
        return stepIdx == 0 ? a : stepIdx == 1 ? b : stepIdx == 2 ? c : AnimKind::none;
    };
    AnimKind k = AnimKind::none;
    if (id == QLatin1String("builtin-eyes"))
        k = AnimKind::eyeTarget;
    else if (id == QLatin1String("builtin-neck"))
        k = pick(AnimKind::neckTiltRight, AnimKind::neckTiltLeft, AnimKind::shoulderRoll);
    else if (id == QLatin1String("builtin-wrist"))
        k = pick(AnimKind::wristRotate, AnimKind::fingerSpread, AnimKind::fingerSpread);
    else if (id == QLatin1String("builtin-back"))
        k = pick(AnimKind::catCow, AnimKind::forwardBend, AnimKind::backTwist);
    return {BreathePhase::none, k};
}

qint64 startIndex(qint64 startStep, qsizetype stepCount) {
    const qint64 last = std::max<qint64>(stepCount, 1) - 1;
    return std::clamp<qint64>(startStep, 0, last);
}

qint64 pausedRemaining(qint64 d, double elapsed) {
    return std::max<qint64>(0, d - qint64(std::trunc(std::max(0.0, elapsed))));
}

qint64 remainingSecs(qint64 d, double elapsed) {
    return pausedRemaining(d, elapsed);
}

double ringProgress(qint64 d, double elapsed) {
    if (d < 1) return 0;
    return std::min(std::max(0.0, elapsed) / double(d), 1.0);
}

QString clockText(qint64 secs) {
    secs = std::max<qint64>(secs, 0);
    return QString::asprintf("%02lld:%02lld", secs / 60, secs % 60);
}

double fingerSpread(double phase) {
    return (16 * std::sin(M_PI * phase) + 8) / 5;
}

RunnerLayout RunnerLayout::compute(double W, double H) {
    RunnerLayout l;
    if (W <= 10 || H <= 10) return l;
    l.valid = true;
    l.ring = std::round(std::min(std::max(0.3 * H, 160.0), 0.5 * W));
    l.ringBottom = H - 100 - l.ring - 4;
    l.emojiFont = std::clamp(0.1 * W, 36.0, 60.0);
    l.timeFont = std::clamp(0.3 * l.ring, 28.0, 54.0);
    l.media = std::max(0.0, l.ringBottom - 112 - 10 - 86);
    l.circle = std::min(0.55 * W, l.media);
    l.card = std::min(l.media, 180.0);
    return l;
}
} // namespace RunnerLogic

void recordExerciseSession(const Exercise &exercise) {
    const ExerciseRecord record =
        ExerciseRecord::make(exercise.name, exercise.emoji, exercise.totalDuration());
    ExerciseHistory::shared().add(record);
}

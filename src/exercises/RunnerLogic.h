#pragma once
#include "exercises/BreathPhase.h"
#include "exercises/Exercise.h"
#include <QString>
#include <utility>

// The movement a step of a built-in stretching or eye exercise draws.
enum class AnimKind {
    none,
    eyeTarget,
    neckTiltRight,
    neckTiltLeft,
    shoulderRoll,
    wristRotate,
    fingerSpread,
    backWave,
    backTwist,
    catCow,
    forwardBend
};

namespace RunnerLogic {
// The visual of a built-in exercise's step: a breathing phase for the four breathing exercises, a
// movement for eyes, neck, wrists and back, both none for anything else.
std::pair<BreathePhase, AnimKind> animForBuiltIn(const Exercise &exercise, qint64 stepIdx);

// The index the run starts at: a negative start is 0, one past the end the last step; an exercise
// without steps starts at 0.
qint64 startIndex(qint64 startStep, qsizetype stepCount);

// Whole seconds left of a step of d seconds after elapsed seconds (cut to whole seconds first, so
// the clock shows the full length during the first second), never below 0.
qint64 remainingSecs(qint64 d, double elapsed);
// Whole seconds left when pausing: the elapsed time is cut to whole seconds first, so a pause at
// 12.7 s of 30 s goes on with 18 s.
qint64 pausedRemaining(qint64 d, double elapsed);
// The ring's fraction: elapsed / d up to 1, 0 for a step shorter than one second.
double ringProgress(qint64 d, double elapsed);
// "%02d:%02d" of minutes and seconds.
QString clockText(qint64 secs);

// The finger spread of the finger animation at a loop position (0…1): 1.6 at 0, 4.8 at 0.5.
double fingerSpread(double phase);

// Frames of the runner's content view for a view of w × h, y measured from the bottom edge.
struct RunnerLayout {
    bool valid = false; // false for a view 10 points or less in either direction: nothing moves
    double ring = 0;    // ring side R
    double ringBottom = 0;
    double emojiFont = 0;
    double timeFont = 0;
    double media = 0;  // media area height M (from y 86)
    double circle = 0; // side of the breathing circle and body animation square
    double card = 0;   // link card height
    static RunnerLayout compute(double w, double h);
};
} // namespace RunnerLogic

// Adds the record of a finished run (the exercise's planned length) to the exerciseHistory
// document. A stored history that does not decode is kept aside by the shared loader first, so the
// new document never replaces records the user had.
void recordExerciseSession(const Exercise &exercise);

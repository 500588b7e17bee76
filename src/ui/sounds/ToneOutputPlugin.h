#pragma once
#include "ui/sounds/ToneOutput.h"
#include <QObject>

// The sound module's entry: QtMultimedia behind the ToneOutput interface.
class ToneOutputPlugin : public QObject, public ToneOutput {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID MIVO_TONE_OUTPUT_IID)
    Q_INTERFACES(ToneOutput)
public:
    bool hasOutput() override;
    std::unique_ptr<Tone> makeTone(const QString &url) override;
};

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// What an applet prints, and Ostrel's own words about applets, on Ostrel's
// error output. An applet's text is a stranger's: it is shown as plain
// text only (control and format characters, such as a terminal's escape
// sequences, are removed), bounded in length and rate, and written by a
// thread of its own, so a full or stuck error output never holds up the
// window; what cannot be written then is dropped.
namespace appletoutput {

// `line` as plain UTF-8 text of at most `maxChars` characters ("…" ends
// one that was cut).
QByteArray printable(QByteArrayView line, qsizetype maxChars);

// Lines a host may pass on: a burst of `burst`, then `perSecond`.
class LineBudget {
public:
    LineBudget(double burst, double perSecond) : burst_(burst), perSecond_(perSecond), tokens_(burst) {}
    // Whether a line at `nowMs` (a steady clock) may pass.
    bool take(qint64 nowMs);

private:
    double burst_;
    double perSecond_;
    double tokens_;
    qint64 lastMs_ = -1;
};

// Queues `text` (one or more whole lines) for the error output; false when
// the queue is full and it was dropped.
bool write(const QByteArray& text);

} // namespace appletoutput

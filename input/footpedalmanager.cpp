#include "input/footpedalmanager.h"

#include "input/pedalreport.h"

namespace {

// The button byte of the last report, one for the whole program: pedals and
// managers come and go, but a button held down stays down until a report
// says otherwise.
quint8 lastButtons = 0;

} // namespace

void FootPedalManager::handleReportByte(quint8 reportByte)
{
    const PedalDecoding decoding = decodePedalReport(lastButtons, reportByte);
    lastButtons = decoding.lastButtons;
    for (const PedalEvent &event : decoding.events) {
        if (event.down)
            emit pedalDown(event.button);
        else
            emit pedalUp(event.button);
        emit rawInputLog(event.text);
    }
}

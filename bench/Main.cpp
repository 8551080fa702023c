// nxmeasure: prints the plug-in's timing figures on this platform, one row per
// figure ("<what>\t<figure>"); tools/measure runs it natively and under Wine.
#include "Figures.h"
#include "MeasuredPc.h"
#include "Measurements.h"

#include <exception>

int main() {
    try {
        MeasuredPc pc;
        MeasureEndToSignal(pc);
        MeasureHandlers(pc);
        MeasureStart(pc);
        MeasureSoak(pc);
        MeasureIdle(pc);
        return 0;
    } catch (const std::exception& error) {
        Progress(std::string("failed: ") + error.what());
        return 1;
    }
}

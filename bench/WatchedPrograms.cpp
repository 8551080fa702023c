#include "WatchedPrograms.h"

#include "process/ServiceProcessNames.h"

WatchedPrograms::WatchedPrograms(MeasuredPc& measuredPc)
    : pc(measuredPc),
      helper(pc.StartProgram(kNxReVadiruImage)),
      messageCenter(pc.StartProgram(kMessageCenterImage)),
      center(pc.StartProgram(L"NxZarCenter.exe")) {}

WatchedPrograms::~WatchedPrograms() {
    EndAll();
}

void WatchedPrograms::EndAll() const {
    // Ending a program that has ended already does nothing.
    for (const uint32_t program : {helper, messageCenter, center}) {
        pc.EndProgram(program);
    }
}

#include "KyView.h"

#include <winsim/Machine.h>

void KyView::Report(KyEvent& event) {
    winsim::Current().Record("usage", event.Describe());
}

// standin::Reset: every module of the stand-in back to its start state.
#include "platform/posix/internal.h"

namespace standin {

void Reset() {
    using namespace standin_detail;
    ResetFiles();
    ResetPaths();
    ResetHeap();
    ResetRegistry();
    ResetKernel();
    ResetMessageBoxes();
    ResetWindows();
    ResetDialogs();
    ResetShell();
}

}  // namespace standin

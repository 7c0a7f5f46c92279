#include "scriptmaker/OrvCancelTask.h"

std::atomic<bool> g_isFXCancel{false};
std::atomic<bool> g_isVideoEngineCancel{false};

#include "drivers/model/CVideoAuxA.h"

IMPLEMENT_KEST_CLASS(CVideoAuxA, CDeviceA)

CVideoAuxA::CVideoAuxA(const char *typeId) : CDeviceA(typeId) {}

CVideoAuxA::~CVideoAuxA() = default;

int CVideoAuxA::DevDoAuxTask(CVideoAuxTask &)
{
    return 0;
}

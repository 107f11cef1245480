#include "drivers/model/CTimeSource_GPS.h"

IMPLEMENT_KEST_CLASS(CTimeSource_GPS, CTimeSourceA)

int CTimeSource_GPS::GetStandardTime(DYNAMIC_TIME &)
{
    return 0;
}

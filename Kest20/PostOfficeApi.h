// The process's packet post office and the flat functions that send through it.
#pragma once

#include "Kest20/Kest20Api.h"
#include "KestLib20/CPacket.h"
#include "KestLib20/IPostOffice.h"

#include <cstdint>

// The application's post office; null once it has gone.
KEST20_API IPostOffice *glGetPostOffice();
// SendMail on the application's post office; 0 when there is none.
KEST20_API int32_t glSendMail(int32_t box, CPacket &packet);
KEST20_API int32_t glSendMail(const char *box, CPacket &packet);

// The auxiliary device that stands for a ThomsonAIR tape robot: it owns the robot logic,
// opens and initialises the robot when opened, and hands the robot interface to the cart
// VTRs while the robot's line is open and the robot is initialised.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/model/CVideoAuxA.h"
#include "drivers/sources/robot/CTapeRobot.h"

#include <atomic>
#include <memory>

class KSOVRA20_API CVideoAux_ThomsonAir : public CVideoAuxA {
    DECLARE_KEST_CLASS(CVideoAux_ThomsonAir)

    CVideoAux_ThomsonAir();
    CVideoAux_ThomsonAir(const CVideoAux_ThomsonAir &) = delete;
    CVideoAux_ThomsonAir &operator=(const CVideoAux_ThomsonAir &) = delete;
    ~CVideoAux_ThomsonAir() override;

    int32_t OnInitInstance() override;
    int DevOpen() override;
    int DevClose() override;
    int DevIsOpen() override;
    int DevTest(const char *argument) override;
    // Only IID_IVideoCartCtrl, and only while open and initialised: S_OK with the robot;
    // otherwise null and S_FALSE.
    HRESULT QueryInterface(const GUID *iid, void **object) override;

    CTapeRobot &Robot() { return *m_pRobot; }

protected:
    std::shared_ptr<CTapeRobot> m_pRobot;
    std::atomic<bool> m_bInitialized{false};
};

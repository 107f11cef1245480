// A clip store on a video server reached through the video-server library: lists, deletes,
// renames and measures the clips of its node, and copies a clip to another store of its kind
// with the library's own copy, run on the destination's connection.
#pragma once

#include "drivers/model/CVideoStoreA.h"
#include "drivers/sources/videoserver/CPinnacleConn.h"

class KSOVRA20_API CVideoStore_Pinnacle : public CVideoStoreA {
    DECLARE_KEST_CLASS(CVideoStore_Pinnacle)

    CVideoStore_Pinnacle();

    // The base's keys, then Node, Connection and HpvsContact.
    int32_t OnInitInstance() override;

    // Opens the connection anew.
    int DevOpen() override;
    int DevClose() override;
    int DevIsOpen() override;
    int DevTest(const char *argument) override;
    // The node's clip names, not cached; their number.
    int DevIDList(CStringArray &ids, int from, int count) override;
    int DevDelete(const char *clip, int mode) override;
    int DevRename(const char *clip, const char *newName) override;
    int DevCopy(const char *clip, const char *newName) override;
    // Copies the clip to the store `destStore` of this kind as `destClip`; blocks until the
    // copy has ended. 1 when the clip then has a length there.
    int DevFarCopy(const char *clip, const char *destClip, const char *destStore,
                   tagCopyCallBack callback) override;
    int DevGetClipSize(const char *clip) override;
    int DevClipExist(const char *clip, int mode) override;

    CPinnacleConn &GetConn() { return m_Conn; }

private:
    CPinnacleConn m_Conn;
};

#include "drivers/tasks/VideoTaskEnums.h"

// One row a line, as the tables read.
// clang-format off
const string_traits<char>::tagKeyName gTaskTypeEnum[] = {
    {1, "SEQ", "顺序"},
    {2, "TIME", "定时"},
    {3, "TRIGGER", "手动"},
    {0, nullptr, nullptr},
};

const string_traits<char>::tagKeyName gTaskStatusEnum[] = {
    {1, "INVALIDATE", "无带"},
    {2, "BEGIN", "待录"},
    {3, "PREPARED", "就绪"},
    {4, "SUBMIT", "已经提交"},
    {5, "ACTIVE", "开始执行"},
    {6, "DEVCHKBEGIN", "录制准备"},
    {7, "DEVCHKING", "录制准备"},
    {8, "DEVCHECKED", "录制准备"},
    {9, "BEGININIT", "录制准备"},
    {10, "INITING", "录制准备"},
    {11, "INITED", "录制准备"},
    {12, "BEGINREC", "录制准备"},
    {13, "RECORDING", "正在录制"},
    {14, "RECORDED", "正在录制"},
    {15, "STOPBEGIN", "录后处理"},
    {16, "STOPPING", "录后处理"},
    {17, "STOPPED", "录后处理"},
    {18, "EJECTBEGIN", "录后处理"},
    {19, "EJECTTING", "录后处理"},
    {20, "EJECTED", "录后处理"},
    {21, "ABORTING", "录后处理"},
    {22, "REVERSEABORT", "录后处理"},
    {23, "FINISHED", "录制完毕"},
    {24, "ABORT", "手工终止"},
    {256, "ERROR", "错误"},
    {512, "WAITING", "等待"},
    {0, nullptr, nullptr},
};

const string_traits<char>::tagKeyName gTaskErrorMsg[] = {
    {0x1, "录制设备未就绪", ""},
    {0x2, "源设备未就绪", ""},
    {0x4, "切换设备未就绪", ""},
    {0x8, "源设备无带", ""},
    {0x10, "素材已存在", ""},
    {0x20, "源预卷失败", ""},
    {0x40, "录制设备初始化失败", ""},
    {0x80, "切换失败", ""},
    {0x100, "源播放失败", ""},
    {0x200, "录制失败", ""},
    {0x400, "源停止失败", ""},
    {0x800, "录制停止失败", ""},
    {0x1000, "录后处理错误", ""},
    {0, nullptr, nullptr},
};
// clang-format on

#include "agent/shell/msgnames.h"

const char* const kRegisteredMessageNames[REGISTERED_MESSAGE_COUNT] = {
    "KEY监控完成消息",
    "证书注册完成消息",
    "Ukey插入消息",
    "Ukey拔下消息",
    "OpenUrl",
    "0号Ukey插入",
    "1号Ukey插入",
    "2号Ukey插入",
    "3号Ukey插入",
    "4号Ukey插入",
};

const char* const kSiblingToolTitles[SIBLING_TOOL_COUNT] = {
    "USBKEY管理员工具",
    "USBKEY普通用户工具",
    "UKey用户管理工具",
};

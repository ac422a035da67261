// Our own binary-compatible declarations of the host's effect interface:
// scalar types, constants, the command records, the callback tables and the
// smart-render and event records. Layouts are the published x86-64 ones
// (default packing reproduces them); every size and used offset is checked
// with static_assert at the bottom of this file. Suites are in
// sdk/PF_Suites.h.
//
// Rules for everything declared here:
// - Only fixed-width types (never `long`): the records are shared with the
//   host as raw memory, so a field's width is part of the contract.
// - Four-character codes are written as hex numbers, never as
//   multi-character literals.
// - The host owns every record, table and handle it passes in; the module
//   only reads and writes fields during one call.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Scalar types
// ---------------------------------------------------------------------------
using A_long = int32_t;
using A_u_long = uint32_t;
using A_short = int16_t;
using A_u_short = uint16_t;
using A_char = char;
using A_u_char = uint8_t;
using A_Boolean = uint8_t;
using A_FpLong = double;
using A_FpShort = float;
using A_u_longlong = uint64_t;
using A_HandleSize = uint64_t;
using A_intptr_t = int64_t;
using A_Err = int32_t;

using PF_Err = int32_t;
using PF_Cmd = int32_t;
using PF_ParamType = int32_t;
using PF_ParamFlags = int32_t;
using PF_ParamUIFlags = int32_t;
using PF_ChangeFlags = int32_t;
using PF_OutFlags = int32_t;
using PF_OutFlags2 = int32_t;
using PF_InFlags = int32_t;
using PF_WorldFlags = int32_t;
using PF_Quality = int32_t;
using PF_Field = int32_t;
using PF_ParamIndex = int32_t;
using PF_ParamValue = int32_t;
using PF_PixelFormat = int32_t;
using PF_PlatDataID = int32_t;
using PF_EventType = int32_t;
using PF_EventInFlags = int32_t;
using PF_EventOutFlags = int32_t;
using PF_CustomEventFlags = int32_t;
using PF_EffectArea = int32_t;
using PF_UIAlignment = int32_t;
using PF_ChannelMask = int32_t;
using PF_NewWorldFlags = int32_t;
using PF_Stage = int32_t;
using PF_WindowType = int32_t;
using PF_FSliderFlags = uint32_t;
using PF_PathID = uint32_t;
using PF_UFixed = uint32_t;
using PF_Fixed = int32_t;  // 16.16 fixed point
using PF_Boolean = char;   // one byte
using PF_ValueDisplayFlags = int16_t;
using PF_RenderOutputFlags = int16_t;
using PF_FpLong = double;
using PF_FpShort = float;
using PF_TimeDisplay = uint32_t;

using PF_Handle = void**;  // pointer to a master pointer to the block
using PF_ArbitraryH = PF_Handle;
struct PF_ProgressInfo;
using PF_ProgPtr = PF_ProgressInfo*;  // the host's effect reference
using PF_PixelPtr = void*;
struct PF_OpaqueContext;
using PF_ContextH = PF_OpaqueContext**;
struct PF_LayerAudioOpaque;
using PF_LayerAudio = PF_LayerAudioOpaque*;
using PF_SndSamplePtr = void*;

using SPErr = int32_t;
using SPBoolean = int32_t;
using AEGP_PluginID = int32_t;
struct AEGP_GlobalRefconOpaque;
using AEGP_GlobalRefcon = AEGP_GlobalRefconOpaque*;
struct AEGP_LayerOpaque;
struct AEGP_CompOpaque;
struct AEGP_ItemOpaque;
struct AEGP_ProjectOpaque;
struct AEGP_EffectRefOpaque;
using AEGP_LayerH = AEGP_LayerOpaque**;
using AEGP_CompH = AEGP_CompOpaque**;
using AEGP_ItemH = AEGP_ItemOpaque**;
using AEGP_ProjectH = AEGP_ProjectOpaque**;
using AEGP_EffectRefH = AEGP_EffectRefOpaque**;
using AEGP_ItemType = int16_t;
using AEGP_ItemFlags = int32_t;

using csSDK_int32 = int32_t;
using csSDK_uint32 = uint32_t;
using csSDK_int64 = int64_t;
using prSuiteError = int32_t;
using PrTimelineID = int32_t;
using PrTime = int64_t;
using prFieldType = int32_t;
using prBool = int32_t;
using PrPixelFormat = uint32_t;

// ---------------------------------------------------------------------------
// Small compound types
// ---------------------------------------------------------------------------
struct PF_Point {
    A_long h, v;
};
struct PF_Rect {
    A_long left, top, right, bottom;
};
using PF_LRect = PF_Rect;
using PF_UnionableRect = PF_Rect;
struct PF_RationalScale {
    A_long num;
    A_u_long den;
};
struct A_Ratio {
    A_long num;
    A_u_long den;
};
struct A_Time {
    A_long value;
    A_u_long scale;
};
struct PF_SpecVersion {
    A_short major, minor;
};
struct PF_Pixel {
    A_u_char alpha, red, green, blue;
};
using PF_Pixel8 = PF_Pixel;
struct PF_Pixel16 {
    A_u_short alpha, red, green, blue;
};
struct PF_PixelFloat {
    PF_FpShort alpha, red, green, blue;
};
using PF_Pixel32 = PF_PixelFloat;
struct prRect {
    csSDK_int32 left, top, right, bottom;
};

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------
// Command codes.
enum : PF_Cmd {
    PF_Cmd_ABOUT = 0,
    PF_Cmd_GLOBAL_SETUP = 1,
    PF_Cmd_UNUSED_0 = 2,
    PF_Cmd_GLOBAL_SETDOWN = 3,
    PF_Cmd_PARAMS_SETUP = 4,
    PF_Cmd_SEQUENCE_SETUP = 5,
    PF_Cmd_SEQUENCE_RESETUP = 6,
    PF_Cmd_SEQUENCE_FLATTEN = 7,
    PF_Cmd_SEQUENCE_SETDOWN = 8,
    PF_Cmd_DO_DIALOG = 9,
    PF_Cmd_FRAME_SETUP = 10,
    PF_Cmd_RENDER = 11,
    PF_Cmd_FRAME_SETDOWN = 12,
    PF_Cmd_USER_CHANGED_PARAM = 13,
    PF_Cmd_UPDATE_PARAMS_UI = 14,
    PF_Cmd_EVENT = 15,
    PF_Cmd_GET_EXTERNAL_DEPENDENCIES = 16,
    PF_Cmd_COMPLETELY_GENERAL = 17,
    PF_Cmd_QUERY_DYNAMIC_FLAGS = 18,
    PF_Cmd_AUDIO_RENDER = 19,
    PF_Cmd_AUDIO_SETUP = 20,
    PF_Cmd_AUDIO_SETDOWN = 21,
    PF_Cmd_ARBITRARY_CALLBACK = 22,
    PF_Cmd_SMART_PRE_RENDER = 23,
    PF_Cmd_SMART_RENDER = 24,
    PF_Cmd_NUM_CMDS = 25,  // first code past the table this module handles
};

// Error codes.
enum : PF_Err {
    PF_Err_NONE = 0,
    PF_Err_OUT_OF_MEMORY = 4,
    PF_Err_INTERNAL_STRUCT_DAMAGED = 512,
    PF_Err_INVALID_INDEX = 513,
    PF_Err_UNRECOGNIZED_PARAM_TYPE = 514,
    PF_Err_INVALID_CALLBACK = 515,
    PF_Err_BAD_CALLBACK_PARAM = 516,
    PF_Interrupt_CANCEL = 517,
    PF_Err_CANNOT_PARSE_KEYFRAME_TEXT = 518,
};
enum : A_Err {
    A_Err_NONE = 0,
    A_Err_GENERIC = 1,
    A_Err_STRUCT = 2,
    A_Err_PARAMETER = 3,
    A_Err_ALLOC = 4,
    A_Err_WRONG_THREAD = 5,
    A_Err_CONST_PROJECT_MODIFICATION = 6,
    A_Err_MISSING_SUITE = 13,
};
constexpr SPErr kSPNoError = 0;
constexpr SPErr kSPSuiteNotFoundError = 0x53214664;  // 'S!Fd'
constexpr SPErr kSPBadParameterError = 0x5061726D;   // 'Parm'
constexpr SPErr kSPOutOfMemoryError = static_cast<SPErr>(0xFFFFFF6Cu);

// Parameter types.
enum : PF_ParamType {
    PF_Param_RESERVED = -1,
    PF_Param_LAYER = 0,
    PF_Param_SLIDER = 1,
    PF_Param_FIX_SLIDER = 2,
    PF_Param_ANGLE = 3,
    PF_Param_CHECKBOX = 4,
    PF_Param_COLOR = 5,
    PF_Param_POINT = 6,
    PF_Param_POPUP = 7,
    PF_Param_CUSTOM = 8,
    PF_Param_NO_DATA = 9,
    PF_Param_FLOAT_SLIDER = 10,
    PF_Param_ARBITRARY_DATA = 11,
    PF_Param_PATH = 12,
    PF_Param_GROUP_START = 13,
    PF_Param_GROUP_END = 14,
    PF_Param_BUTTON = 15,
    PF_Param_RESERVED2 = 16,
    PF_Param_RESERVED3 = 17,
    PF_Param_POINT_3D = 18,
};

// PF_ParamDef.flags
constexpr uint32_t PF_ParamFlag_CANNOT_TIME_VARY = 0x2;
constexpr uint32_t PF_ParamFlag_CANNOT_INTERP = 0x4;
constexpr uint32_t PF_ParamFlag_COLLAPSE_TWIRLY = 0x20;
constexpr uint32_t PF_ParamFlag_START_COLLAPSED = 0x20;
constexpr uint32_t PF_ParamFlag_SUPERVISE = 0x40;
constexpr uint32_t PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS = 0x80;
constexpr uint32_t PF_ParamFlag_EXCLUDE_FROM_HAVE_INPUTS_CHANGED = 0x100;
constexpr uint32_t PF_ParamFlag_SKIP_REVEAL_WHEN_UNHIDDEN = 0x200;

// PF_ParamDef.ui_flags
constexpr uint32_t PF_PUI_NONE = 0;
constexpr uint32_t PF_PUI_TOPIC = 0x1;
constexpr uint32_t PF_PUI_CONTROL = 0x2;
constexpr uint32_t PF_PUI_STD_CONTROL_ONLY = 0x4;
constexpr uint32_t PF_PUI_NO_ECW_UI = 0x8;
constexpr uint32_t PF_PUI_ECW_SEPARATOR = 0x10;
constexpr uint32_t PF_PUI_DISABLED = 0x20;
constexpr uint32_t PF_PUI_DONT_ERASE_TOPIC = 0x40;
constexpr uint32_t PF_PUI_DONT_ERASE_CONTROL = 0x80;
constexpr uint32_t PF_PUI_RADIO_BUTTON = 0x100;
constexpr uint32_t PF_PUI_INVISIBLE = 0x200;

// PF_ChangeFlags (share PF_ParamDef.uu with the id)
constexpr uint32_t PF_ChangeFlag_NONE = 0;
constexpr uint32_t PF_ChangeFlag_CHANGED_VALUE = 0x1;
constexpr uint32_t PF_ChangeFlag_SET_TO_VARY = 0x4;
constexpr uint32_t PF_ChangeFlag_SET_TO_CONSTANT = 0x8;

constexpr A_long PF_LayerDefault_NONE = 0;
constexpr A_long PF_LayerDefault_MYSELF = -1;

constexpr int16_t PF_Precision_INTEGER = 0;
constexpr int16_t PF_Precision_TENTHS = 1;
constexpr int16_t PF_Precision_HUNDREDTHS = 2;
constexpr int16_t PF_Precision_THOUSANDTHS = 3;
constexpr int16_t PF_Precision_TEN_THOUSANDTHS = 4;
constexpr int16_t PF_ValueDisplayFlag_NONE = 0;
constexpr int16_t PF_ValueDisplayFlag_PERCENT = 1;
constexpr int16_t PF_ValueDisplayFlag_PIXEL = 2;
constexpr float AEFX_AUDIO_DEFAULT_CURVE_TOLERANCE = 0.05f;

// PF_OutData.out_flags
constexpr uint32_t PF_OutFlag_NONE = 0;
constexpr uint32_t PF_OutFlag_KEEP_RESOURCE_OPEN = 0x1;
constexpr uint32_t PF_OutFlag_WIDE_TIME_INPUT = 0x2;
constexpr uint32_t PF_OutFlag_NON_PARAM_VARY = 0x4;
constexpr uint32_t PF_OutFlag_SEQUENCE_DATA_NEEDS_FLATTENING = 0x10;
constexpr uint32_t PF_OutFlag_I_DO_DIALOG = 0x20;
constexpr uint32_t PF_OutFlag_USE_OUTPUT_EXTENT = 0x40;
constexpr uint32_t PF_OutFlag_SEND_DO_DIALOG = 0x80;
constexpr uint32_t PF_OutFlag_DISPLAY_ERROR_MESSAGE = 0x100;
constexpr uint32_t PF_OutFlag_I_EXPAND_BUFFER = 0x200;
constexpr uint32_t PF_OutFlag_PIX_INDEPENDENT = 0x400;
constexpr uint32_t PF_OutFlag_I_WRITE_INPUT_BUFFER = 0x800;
constexpr uint32_t PF_OutFlag_I_SHRINK_BUFFER = 0x1000;
constexpr uint32_t PF_OutFlag_WORKS_IN_PLACE = 0x2000;
constexpr uint32_t PF_OutFlag_CUSTOM_UI = 0x8000;
constexpr uint32_t PF_OutFlag_REFRESH_UI = 0x20000;
constexpr uint32_t PF_OutFlag_NOP_RENDER = 0x40000;
constexpr uint32_t PF_OutFlag_I_USE_SHUTTER_ANGLE = 0x80000;
constexpr uint32_t PF_OutFlag_I_USE_AUDIO = 0x100000;
constexpr uint32_t PF_OutFlag_I_AM_OBSOLETE = 0x200000;
constexpr uint32_t PF_OutFlag_FORCE_RERENDER = 0x400000;
constexpr uint32_t PF_OutFlag_PiPL_OVERRIDES_OUTDATA_OUTFLAGS = 0x800000;
constexpr uint32_t PF_OutFlag_I_HAVE_EXTERNAL_DEPENDENCIES = 0x1000000;
constexpr uint32_t PF_OutFlag_DEEP_COLOR_AWARE = 0x2000000;
constexpr uint32_t PF_OutFlag_SEND_UPDATE_PARAMS_UI = 0x4000000;
constexpr uint32_t PF_OutFlag_AUDIO_FLOAT_ONLY = 0x8000000;
constexpr uint32_t PF_OutFlag_AUDIO_IIR = 0x10000000;
constexpr uint32_t PF_OutFlag_I_SYNTHESIZE_AUDIO = 0x20000000;
constexpr uint32_t PF_OutFlag_AUDIO_EFFECT_TOO = 0x40000000;
constexpr uint32_t PF_OutFlag_AUDIO_EFFECT_ONLY = 0x80000000u;

// PF_OutData.out_flags2
constexpr uint32_t PF_OutFlag2_NONE = 0;
constexpr uint32_t PF_OutFlag2_SUPPORTS_QUERY_DYNAMIC_FLAGS = 0x1;
constexpr uint32_t PF_OutFlag2_I_USE_3D_CAMERA = 0x2;
constexpr uint32_t PF_OutFlag2_I_USE_3D_LIGHTS = 0x4;
constexpr uint32_t PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG = 0x8;
constexpr uint32_t PF_OutFlag2_I_AM_THREADSAFE = 0x10;
constexpr uint32_t PF_OutFlag2_CAN_COMBINE_WITH_DESTINATION = 0x20;
constexpr uint32_t PF_OutFlag2_DOESNT_NEED_EMPTY_PIXELS = 0x40;
constexpr uint32_t PF_OutFlag2_REVEALS_ZERO_ALPHA = 0x80;
constexpr uint32_t PF_OutFlag2_PRESERVES_FULLY_OPAQUE_PIXELS = 0x100;
constexpr uint32_t PF_OutFlag2_SUPPORTS_SMART_RENDER = 0x400;
constexpr uint32_t PF_OutFlag2_FLOAT_COLOR_AWARE = 0x1000;
constexpr uint32_t PF_OutFlag2_I_USE_COLORSPACE_ENUMERATION = 0x2000;
constexpr uint32_t PF_OutFlag2_I_AM_DEPRECATED = 0x4000;
constexpr uint32_t PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER = 0x8000;
constexpr uint32_t PF_OutFlag2_AUTOMATIC_WIDE_TIME_INPUT = 0x20000;
constexpr uint32_t PF_OutFlag2_I_USE_TIMECODE = 0x40000;
constexpr uint32_t PF_OutFlag2_DEPENDS_ON_UNREFERENCED_MASKS = 0x80000;
constexpr uint32_t PF_OutFlag2_OUTPUT_IS_WATERMARKED = 0x100000;

constexpr PF_InFlags PF_InFlag_NONE = 0;
constexpr PF_InFlags PF_InFlag_PROJECT_IS_RENDER_ONLY = 0x1;

// my_version layout (build 0-8, stage 9-10, bug fix 11-14, minor 15-18,
// major 19-21).
enum : PF_Stage { PF_Stage_DEVELOP = 0, PF_Stage_ALPHA = 1, PF_Stage_BETA = 2, PF_Stage_RELEASE = 3 };
constexpr uint32_t PF_VERSION(uint32_t major, uint32_t minor, uint32_t bugfix, uint32_t stage, uint32_t build) {
    return ((major & 0x7u) << 19) | ((minor & 0xFu) << 15) | ((bugfix & 0xFu) << 11) | ((stage & 0x3u) << 9) |
           (build & 0x1FFu);
}

// get_platform_data selectors.
enum : PF_PlatDataID {
    PF_PlatData_MAIN_WND = 0,
    PF_PlatData_EXE_FILE_PATH_DEPRECATED = 1,
    PF_PlatData_RES_FILE_PATH_DEPRECATED = 2,
    PF_PlatData_RES_REFNUM = 3,
    PF_PlatData_RES_DLLINSTANCE = 4,
    PF_PlatData_SP_PLUG_REF = 5,
    PF_PlatData_BUNDLE_REF = 6,
    PF_PlatData_EXE_FILE_PATH_W = 7,
    PF_PlatData_RES_FILE_PATH_W = 8,
};

// Worlds.
constexpr uint32_t PF_WorldFlag_DEEP = 0x1;
constexpr uint32_t PF_WorldFlag_WRITEABLE = 0x2;
constexpr uint32_t PF_MAX_CHAN8 = 255;
constexpr uint32_t PF_HALF_CHAN8 = 128;
constexpr uint32_t PF_MAX_CHAN16 = 32768;
constexpr uint32_t PF_HALF_CHAN16 = 16384;

// Events and custom UI.
constexpr uint32_t PF_CustomEFlag_NONE = 0;
constexpr uint32_t PF_CustomEFlag_COMP = 0x1;
constexpr uint32_t PF_CustomEFlag_LAYER = 0x2;
constexpr uint32_t PF_CustomEFlag_EFFECT = 0x4;
constexpr uint32_t PF_CustomEFlag_PREVIEW = 0x8;
enum : PF_EventType {
    PF_Event_NONE = -1,
    PF_Event_NEW_CONTEXT = 0,
    PF_Event_ACTIVATE = 1,
    PF_Event_DO_CLICK = 2,
    PF_Event_DRAG = 3,
    PF_Event_DRAW = 4,
    PF_Event_DEACTIVATE = 5,
    PF_Event_CLOSE_CONTEXT = 6,
    PF_Event_IDLE = 7,
    PF_Event_KEYDOWN_OBSOLETE = 8,
    PF_Event_ADJUST_CURSOR = 9,
    PF_Event_KEYDOWN = 10,
    PF_Event_MOUSE_EXITED = 11,
};
enum : PF_WindowType {
    PF_Window_NONE = -1,
    PF_Window_COMP = 0,
    PF_Window_LAYER = 1,
    PF_Window_EFFECT = 2,
    PF_Window_PREVIEW = 3,
};
constexpr uint32_t PF_EO_NONE = 0;
constexpr uint32_t PF_EO_HANDLED_EVENT = 0x1;
constexpr uint32_t PF_EO_ALWAYS_UPDATE = 0x2;
constexpr uint32_t PF_EO_NEVER_UPDATE = 0x4;
constexpr uint32_t PF_EO_UPDATE_NOW = 0x8;
constexpr uint32_t PF_EI_NONE = 0;
constexpr uint32_t PF_EI_DONT_DRAW = 0x1;
enum : PF_EffectArea { PF_EA_NONE = 0, PF_EA_PARAM_TITLE = 1, PF_EA_CONTROL = 2 };
enum : PF_UIAlignment {
    PF_UIAlignment_NONE = 0,
    PF_UIAlignment_TOP = 1,
    PF_UIAlignment_LEFT = 2,
    PF_UIAlignment_BOTTOM = 4,
    PF_UIAlignment_RIGHT = 8,
};

// Pixel formats. The numbers are what the host passes; the names are the
// host's own (PF_ for the compositing host, PrPixelFormat_ for the editing
// host). Channel order in memory follows the name's letters read from the
// lowest byte of the code.
constexpr uint32_t PF_PixelFormat_ARGB32 = 0x62677261;
constexpr uint32_t PF_PixelFormat_ARGB64 = 0x36316561;   // 16 bpc, 0..32768
constexpr uint32_t PF_PixelFormat_ARGB128 = 0x32336561;  // float
constexpr uint32_t PF_PixelFormat_BGRA32 = 0x61726762;
constexpr uint32_t PF_PixelFormat_INVALID = 0x66646162;
constexpr uint32_t PrPixelFormat_Any = 0;
constexpr uint32_t PrPixelFormat_ARGB_4444_8u = 0x62677261;
constexpr uint32_t PrPixelFormat_XRGB_4444_8u = 0x62677278;
constexpr uint32_t PrPixelFormat_BGRA_4444_8u = 0x61726762;
constexpr uint32_t PrPixelFormat_BGRX_4444_8u = 0x78726762;
constexpr uint32_t PrPixelFormat_ARGB_4444_16u = 0x62677241;
constexpr uint32_t PrPixelFormat_XRGB_4444_16u = 0x62677258;
constexpr uint32_t PrPixelFormat_BGRA_4444_16u = 0x61726742;
constexpr uint32_t PrPixelFormat_BGRX_4444_16u = 0x78726742;
constexpr uint32_t PrPixelFormat_ARGB_4444_32f = 0x62675241;
constexpr uint32_t PrPixelFormat_XRGB_4444_32f = 0x62675258;
constexpr uint32_t PrPixelFormat_BGRA_4444_32f = 0x61724742;
constexpr uint32_t PrPixelFormat_BGRX_4444_32f = 0x78724742;
constexpr uint32_t PrPixelFormat_VUYA_4444_8u = 0x61797576;
constexpr uint32_t PrPixelFormat_Invalid = 0x66646162;

// Smart render.
constexpr uint32_t PF_ChannelMask_ALPHA = 0x1;
constexpr uint32_t PF_ChannelMask_RED = 0x2;
constexpr uint32_t PF_ChannelMask_GREEN = 0x4;
constexpr uint32_t PF_ChannelMask_BLUE = 0x8;
constexpr uint32_t PF_ChannelMask_ARGB = 0xF;
constexpr int16_t PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS = 0x1;
constexpr int16_t PF_RenderOutputFlag_GPU_RENDER_POSSIBLE = 0x2;
enum : PF_Field { PF_Field_FRAME = 0, PF_Field_UPPER = 1, PF_Field_LOWER = 2 };

// Application ids (in_data->appl_id).
constexpr int32_t PF_APPL_ID_AFTER_EFFECTS = 0x46585443;  // 'FXTC'
constexpr int32_t PF_APPL_ID_PREMIERE = 0x50724D72;       // 'PrMr'

// String limits (each field holds one more byte for the terminator).
constexpr int PF_MAX_EFFECT_NAME_LEN = 31;
constexpr int PF_MAX_EFFECT_PARAM_NAME_LEN = 31;
constexpr int PF_MAX_PARAM_DESCRIPTION_LEN = 31;
constexpr int PF_MAX_PARAM_VALUE_LEN = 31;
constexpr int PF_MAX_EFFECT_MSG_LEN = 255;

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------
struct PF_ParamDef;
struct PF_LayerDef;
using PF_EffectWorld = PF_LayerDef;
using PF_ParamList = PF_ParamDef**;
struct PF_CustomUIInfo;
struct SPBasicSuite;

struct PF_SoundFormatInfo {
    PF_FpLong rateF;
    A_short num_channels;
    A_short format;
    A_short sample_size;
};

struct PF_SoundWorld {
    PF_SoundFormatInfo fi;
    A_long num_samples;
    void* dataP;
};

struct PF_InteractCallbacks {
    PF_Err (*checkout_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time, A_long time_step,
                             A_u_long time_scale, PF_ParamDef* param);
    PF_Err (*checkin_param)(PF_ProgPtr effect_ref, PF_ParamDef* param);
    PF_Err (*add_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDef* def);
    PF_Err (*abort)(PF_ProgPtr effect_ref);
    PF_Err (*progress)(PF_ProgPtr effect_ref, A_long current, A_long total);
    PF_Err (*register_ui)(PF_ProgPtr effect_ref, PF_CustomUIInfo* cust_info);
    PF_Err (*checkout_layer_audio)(PF_ProgPtr, PF_ParamIndex, A_long start_time, A_long duration, A_u_long time_scale,
                                   PF_UFixed rate, A_long bytes_per_sample, A_long num_channels, A_long fmt_signed,
                                   PF_LayerAudio* audio);
    PF_Err (*checkin_layer_audio)(PF_ProgPtr, PF_LayerAudio audio);
    PF_Err (*get_audio_data)(PF_ProgPtr, PF_LayerAudio, PF_SndSamplePtr* data0, A_long* num_samples0, PF_UFixed* rate0,
                             A_long* bytes_per_sample0, A_long* num_channels0, A_long* fmt_signed0);
    void* reserved_str[3];
    void* reserved[10];
};

struct PF_ANSICallbacks {
    double (*atan)(double);
    double (*atan2)(double y, double x);
    double (*ceil)(double);
    double (*cos)(double);
    double (*exp)(double);
    double (*fabs)(double);
    double (*floor)(double);
    double (*fmod)(double x, double y);
    double (*hypot)(double x, double y);
    double (*log)(double);
    double (*log10)(double);
    double (*pow)(double x, double y);
    double (*sin)(double);
    double (*sqrt)(double);
    double (*tan)(double);
    int (*sprintf)(char* buffer, const char* format, ...);
    char* (*strcpy)(char* dst, const char* src);
    double (*asin)(double);
    double (*acos)(double);
    A_long ansi_procs[1];
};

// Eight colour-space conversion slots the module never calls.
struct PF_ColorCallbacks {
    void* slots[8];
};

// in_data->utils. Slots the module does not call are kept as untyped
// pointers so that the table's layout is complete.
struct PF_UtilCallbacks {
    void* begin_sampling;
    void* subpixel_sample;
    void* area_sample;
    void* get_batch_func_is_deprecated;
    void* end_sampling;
    void* composite_rect;
    void* blend;
    void* convolve;
    PF_Err (*copy)(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r, PF_Rect* dst_r);
    PF_Err (*fill)(PF_ProgPtr effect_ref, const PF_Pixel* color, const PF_Rect* dst_rect, PF_EffectWorld* world);
    void* gaussian_kernel;
    void* iterate;
    void* premultiply;
    void* premultiply_color;
    void* new_world;
    void* dispose_world;
    void* iterate_origin;
    void* iterate_lut;
    void* transfer_rect;
    void* transform_world;
    PF_Handle (*host_new_handle)(A_u_longlong size);
    void* (*host_lock_handle)(PF_Handle handle);
    void (*host_unlock_handle)(PF_Handle handle);
    void (*host_dispose_handle)(PF_Handle handle);
    void* get_callback_addr;
    PF_Err (*app)(PF_ProgPtr effect_ref, A_long selector, ...);
    PF_ANSICallbacks ansi;
    PF_ColorCallbacks colorCB;
    PF_Err (*get_platform_data)(PF_ProgPtr effect_ref, PF_PlatDataID which, void* data);
    A_u_longlong (*host_get_handle_size)(PF_Handle handle);
    void* iterate_origin_non_clip_src;
    void* iterate_generic;
    PF_Err (*host_resize_handle)(A_u_longlong new_size, PF_Handle* handleP);
    void* subpixel_sample16;
    void* area_sample16;
    void* fill16;
    void* premultiply_color16;
    void* iterate16;
    void* iterate_origin16;
    void* iterate_origin_non_clip_src16;
    void* get_pixel_data8;
    void* get_pixel_data16;
    A_long reserved[1];
};

struct PF_InData {
    PF_InteractCallbacks inter;
    PF_UtilCallbacks* utils;
    PF_ProgPtr effect_ref;
    PF_Quality quality;
    PF_SpecVersion version;
    A_long serial_num;
    A_long appl_id;
    A_long num_params;
    A_long reserved;
    A_long what_cpu;
    A_long what_fpu;
    A_long current_time;
    A_long time_step;
    A_long total_time;
    A_long local_time_step;
    A_u_long time_scale;
    PF_Field field;
    PF_Fixed shutter_angle;
    A_long width;
    A_long height;
    PF_Rect extent_hint;
    A_long output_origin_x;
    A_long output_origin_y;
    PF_RationalScale downsample_x;
    PF_RationalScale downsample_y;
    PF_RationalScale pixel_aspect_ratio;
    PF_InFlags in_flags;
    PF_Handle global_data;
    PF_Handle sequence_data;
    PF_Handle frame_data;
    A_long start_sampL;
    A_long dur_sampL;
    A_long total_sampL;
    PF_SoundWorld src_snd;
    SPBasicSuite* pica_basicP;
    A_long pre_effect_source_origin_x;
    A_long pre_effect_source_origin_y;
    PF_Fixed shutter_phase;
};

struct PF_OutData {
    A_u_long my_version;
    A_char name[PF_MAX_EFFECT_NAME_LEN + 1];
    PF_Handle global_data;
    A_long num_params;
    PF_Handle sequence_data;
    A_long flat_sdata_size;
    PF_Handle frame_data;
    A_long width;
    A_long height;
    PF_Point origin;
    PF_OutFlags out_flags;
    A_char return_msg[PF_MAX_EFFECT_MSG_LEN + 1];
    A_long start_sampL;
    A_long dur_sampL;
    PF_SoundWorld dest_snd;
    PF_OutFlags2 out_flags2;
};

struct PF_LayerDef {
    void* reserved0;
    void* reserved1;
    PF_WorldFlags world_flags;
    PF_PixelPtr data;
    A_long rowbytes;
    A_long width;
    A_long height;
    PF_Rect extent_hint;
    void* platform_ref;
    A_long reserved_long1;
    void* reserved_long4;
    PF_RationalScale pix_aspect_ratio;
    void* reserved_long2;
    A_long origin_x;
    A_long origin_y;
    A_long reserved_long3;
    A_long dephault;
};

struct PF_SliderDef {
    PF_ParamValue value;
    A_char value_str[PF_MAX_PARAM_VALUE_LEN + 1];
    A_char value_desc[PF_MAX_PARAM_DESCRIPTION_LEN + 1];
    PF_ParamValue valid_min, valid_max, slider_min, slider_max, dephault;
};

struct PF_FixedSliderDef {
    PF_Fixed value;
    A_char value_str[PF_MAX_PARAM_VALUE_LEN + 1];
    A_char value_desc[PF_MAX_PARAM_DESCRIPTION_LEN + 1];
    PF_Fixed valid_min, valid_max, slider_min, slider_max, dephault;
    A_short precision;
    PF_ValueDisplayFlags display_flags;
};

struct PF_FloatSliderDef {
    PF_FpLong value;
    PF_FpLong phase;
    A_char value_desc[PF_MAX_PARAM_DESCRIPTION_LEN + 1];
    PF_FpShort valid_min, valid_max, slider_min, slider_max, dephault;
    A_short precision;
    PF_ValueDisplayFlags display_flags;
    PF_FSliderFlags fs_flags;
    PF_FpShort curve_tolerance;
    PF_Boolean useExponent;  // editing host only
    PF_FpShort exponent;     // editing host only
};

struct PF_AngleDef {
    PF_Fixed value;
    PF_Fixed dephault;
    PF_Fixed valid_min, valid_max;
};

struct PF_CheckBoxDef {
    PF_ParamValue value;
    PF_Boolean dephault;
    A_char reserved;
    A_short reserved1;
    union {
        const A_char* nameptr;
    } u;
};

struct PF_ColorDef {
    PF_Pixel value;
    PF_Pixel dephault;
};

struct PF_PointDef {
    PF_Fixed x_value;
    PF_Fixed y_value;
    A_char reserved[3];
    PF_Boolean restrict_bounds;
    PF_Fixed x_dephault;
    PF_Fixed y_dephault;
};

struct PF_Point3DDef {
    PF_FpLong x_value, y_value, z_value;
    PF_FpLong x_dephault, y_dephault, z_dephault;
    A_char reserved[16];
};

struct PF_PopupDef {
    PF_ParamValue value;
    A_short num_choices;
    A_short dephault;
    union {
        const A_char* namesptr;
    } u;
};

struct PF_PathDef {
    PF_PathID path_id;
    A_long reserved0;
    A_long dephault;
};

struct PF_ArbitraryDef {
    A_short id;
    A_short pad;
    PF_ArbitraryH dephault;
    PF_ArbitraryH value;
    void* refconPV;
};

struct PF_ButtonDef {
    PF_ParamValue value;
    union {
        const A_char* namesptr;
    } u;
};

union PF_ParamDefUnion {
    PF_LayerDef ld;
    PF_SliderDef sd;
    PF_FixedSliderDef fd;
    PF_AngleDef ad;
    PF_CheckBoxDef bd;
    PF_ColorDef cd;
    PF_PointDef td;
    PF_PopupDef pd;
    PF_FloatSliderDef fs_d;
    PF_ArbitraryDef arb_d;
    PF_PathDef path_d;
    PF_ButtonDef button_d;
    PF_Point3DDef point3d_d;
};

struct PF_ParamDef {
    union {
        A_long id;
        PF_ChangeFlags change_flags;
    } uu;
    PF_ParamUIFlags ui_flags;
    A_short ui_width;
    A_short ui_height;
    PF_ParamType param_type;
    A_char name[PF_MAX_EFFECT_PARAM_NAME_LEN + 1];
    PF_ParamFlags flags;
    A_long unused;
    PF_ParamDefUnion u;
};

// extra for PF_Cmd_USER_CHANGED_PARAM
struct PF_UserChangedParamExtra {
    PF_ParamIndex param_index;
};

struct PF_CustomUIInfo {
    A_long reserved;
    PF_CustomEventFlags events;
    A_long comp_ui_width, comp_ui_height;
    PF_UIAlignment comp_ui_alignment;
    A_long layer_ui_width, layer_ui_height;
    PF_UIAlignment layer_ui_alignment;
    A_long preview_ui_width, preview_ui_height;
    PF_UIAlignment preview_ui_alignment;
};

// --- smart pre-render --------------------------------------------------------
struct PF_RenderRequest {
    PF_LRect rect;
    PF_Field field;
    PF_ChannelMask channel_mask;
    PF_Boolean preserve_rgb_of_zero_alpha;
    char unused[3];
    A_long reserved[4];
};

// The 13.9 form (48 bytes); newer hosts append GPU fields after it, which
// the module never reads.
struct PF_PreRenderInput {
    PF_RenderRequest output_request;
    short bitdepth;
};

struct PF_PreRenderOutput {
    PF_LRect result_rect;
    PF_LRect max_result_rect;
    PF_Boolean solid;
    PF_Boolean reserved;
    PF_RenderOutputFlags flags;
    void* pre_render_data;
    void (*delete_pre_render_data_func)(void*);
};

struct PF_CheckoutResult {
    PF_LRect result_rect;
    PF_LRect max_result_rect;
    PF_RationalScale par;
    PF_Boolean solid;
    PF_Boolean reservedB[3];
    A_long ref_width;
    A_long ref_height;
    A_long reserved[6];
};

struct PF_PreRenderCallbacks {
    PF_Err (*checkout_layer)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkout_idL,
                             const PF_RenderRequest* req, A_long what_time, A_long time_step, A_u_long time_scale,
                             PF_CheckoutResult* checkout_result);
    PF_Err (*GuidMixInPtr)(PF_ProgPtr effect_ref, A_u_long buf_sizeLu, const void* buf);
};

struct PF_PreRenderExtra {
    PF_PreRenderInput* input;
    PF_PreRenderOutput* output;
    PF_PreRenderCallbacks* cb;
};

// --- smart render --------------------------------------------------------------
// The 13.9 form (56 bytes); newer hosts append GPU fields.
struct PF_SmartRenderInput {
    PF_RenderRequest output_request;
    short bitdepth;
    void* pre_render_data;
};

struct PF_SmartRenderCallbacks {
    PF_Err (*checkout_layer_pixels)(PF_ProgPtr effect_ref, A_long checkout_idL, PF_EffectWorld** pixels);
    PF_Err (*checkin_layer_pixels)(PF_ProgPtr effect_ref, A_long checkout_idL);
    PF_Err (*checkout_output)(PF_ProgPtr effect_ref, PF_EffectWorld** output);
};

struct PF_SmartRenderExtra {
    PF_SmartRenderInput* input;
    PF_SmartRenderCallbacks* cb;
};

// --- events --------------------------------------------------------------------
struct PF_DoClickEventInfo {
    A_u_long when;
    PF_Point screen_point;
    A_long num_clicks;
    A_long modifiers;
    A_intptr_t continue_refcon[4];
    PF_Boolean send_drag;
    PF_Boolean last_time;
};

// The other event members (draw, key down, adjust cursor) are smaller than
// the click record; the module reads none of them.
union PF_EventUnion {
    PF_DoClickEventInfo do_click;
    uint8_t raw[64];
};

struct PF_EffectWindowInfo {
    PF_ParamIndex index;
    PF_EffectArea area;
    PF_Rect current_frame;
    PF_Rect param_title_frame;
    A_long horiz_offset;
};

// refcon and eight coordinate and info-drawing callbacks, never called.
struct PF_EventCallbacks {
    void* refcon;
    void* slots[8];
};

struct PF_EventExtra {
    PF_ContextH contextH;
    PF_EventType e_type;
    PF_EventUnion u;
    PF_EffectWindowInfo effect_win;
    PF_EventCallbacks cbs;
    PF_EventInFlags evt_in_flags;
    PF_EventOutFlags evt_out_flags;
};

// ---------------------------------------------------------------------------
// The entry point
// ---------------------------------------------------------------------------
using PF_FilterProc = PF_Err (*)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                 PF_LayerDef* output, void* extra);

// ---------------------------------------------------------------------------
// Layout checks (x86-64)
// ---------------------------------------------------------------------------
#define LX_SDK_LAYOUT(type, size) static_assert(sizeof(type) == (size), #type " size")
#define LX_SDK_OFFSET(type, field, off) static_assert(offsetof(type, field) == (off), #type "." #field)

LX_SDK_LAYOUT(PF_Point, 8);
LX_SDK_LAYOUT(PF_Rect, 16);
LX_SDK_LAYOUT(PF_RationalScale, 8);
LX_SDK_LAYOUT(A_Ratio, 8);
LX_SDK_LAYOUT(A_Time, 8);
LX_SDK_LAYOUT(PF_SpecVersion, 4);
LX_SDK_LAYOUT(PF_Pixel, 4);
LX_SDK_LAYOUT(PF_Pixel16, 8);
LX_SDK_LAYOUT(PF_PixelFloat, 16);
LX_SDK_LAYOUT(prRect, 16);
LX_SDK_LAYOUT(PF_SoundFormatInfo, 16);
LX_SDK_LAYOUT(PF_SoundWorld, 32);
LX_SDK_OFFSET(PF_SoundWorld, num_samples, 16);
LX_SDK_OFFSET(PF_SoundWorld, dataP, 24);

LX_SDK_LAYOUT(PF_InteractCallbacks, 176);
LX_SDK_OFFSET(PF_InteractCallbacks, checkout_param, 0);
LX_SDK_OFFSET(PF_InteractCallbacks, checkin_param, 8);
LX_SDK_OFFSET(PF_InteractCallbacks, add_param, 16);
LX_SDK_OFFSET(PF_InteractCallbacks, register_ui, 40);
LX_SDK_OFFSET(PF_InteractCallbacks, reserved_str, 72);
LX_SDK_OFFSET(PF_InteractCallbacks, reserved, 96);

LX_SDK_LAYOUT(PF_ANSICallbacks, 160);
LX_SDK_OFFSET(PF_ANSICallbacks, sprintf, 120);
LX_SDK_OFFSET(PF_ANSICallbacks, strcpy, 128);
LX_SDK_OFFSET(PF_ANSICallbacks, acos, 144);
LX_SDK_OFFSET(PF_ANSICallbacks, ansi_procs, 152);
LX_SDK_LAYOUT(PF_ColorCallbacks, 64);
LX_SDK_LAYOUT(PF_UtilCallbacks, 552);
LX_SDK_OFFSET(PF_UtilCallbacks, copy, 64);
LX_SDK_OFFSET(PF_UtilCallbacks, fill, 72);
LX_SDK_OFFSET(PF_UtilCallbacks, host_new_handle, 160);
LX_SDK_OFFSET(PF_UtilCallbacks, host_lock_handle, 168);
LX_SDK_OFFSET(PF_UtilCallbacks, host_unlock_handle, 176);
LX_SDK_OFFSET(PF_UtilCallbacks, host_dispose_handle, 184);
LX_SDK_OFFSET(PF_UtilCallbacks, get_callback_addr, 192);
LX_SDK_OFFSET(PF_UtilCallbacks, app, 200);
LX_SDK_OFFSET(PF_UtilCallbacks, ansi, 208);
LX_SDK_OFFSET(PF_UtilCallbacks, colorCB, 368);
LX_SDK_OFFSET(PF_UtilCallbacks, get_platform_data, 432);
LX_SDK_OFFSET(PF_UtilCallbacks, host_get_handle_size, 440);
LX_SDK_OFFSET(PF_UtilCallbacks, host_resize_handle, 464);
LX_SDK_OFFSET(PF_UtilCallbacks, get_pixel_data8, 528);
LX_SDK_OFFSET(PF_UtilCallbacks, get_pixel_data16, 536);
LX_SDK_OFFSET(PF_UtilCallbacks, reserved, 544);

LX_SDK_LAYOUT(PF_InData, 408);
LX_SDK_OFFSET(PF_InData, utils, 176);
LX_SDK_OFFSET(PF_InData, effect_ref, 184);
LX_SDK_OFFSET(PF_InData, quality, 192);
LX_SDK_OFFSET(PF_InData, version, 196);
LX_SDK_OFFSET(PF_InData, serial_num, 200);
LX_SDK_OFFSET(PF_InData, appl_id, 204);
LX_SDK_OFFSET(PF_InData, num_params, 208);
LX_SDK_OFFSET(PF_InData, current_time, 224);
LX_SDK_OFFSET(PF_InData, time_step, 228);
LX_SDK_OFFSET(PF_InData, total_time, 232);
LX_SDK_OFFSET(PF_InData, time_scale, 240);
LX_SDK_OFFSET(PF_InData, shutter_angle, 248);
LX_SDK_OFFSET(PF_InData, width, 252);
LX_SDK_OFFSET(PF_InData, height, 256);
LX_SDK_OFFSET(PF_InData, extent_hint, 260);
LX_SDK_OFFSET(PF_InData, output_origin_x, 276);
LX_SDK_OFFSET(PF_InData, downsample_x, 284);
LX_SDK_OFFSET(PF_InData, downsample_y, 292);
LX_SDK_OFFSET(PF_InData, pixel_aspect_ratio, 300);
LX_SDK_OFFSET(PF_InData, in_flags, 308);
LX_SDK_OFFSET(PF_InData, global_data, 312);
LX_SDK_OFFSET(PF_InData, sequence_data, 320);
LX_SDK_OFFSET(PF_InData, frame_data, 328);
LX_SDK_OFFSET(PF_InData, start_sampL, 336);
LX_SDK_OFFSET(PF_InData, total_sampL, 344);
LX_SDK_OFFSET(PF_InData, src_snd, 352);
LX_SDK_OFFSET(PF_InData, pica_basicP, 384);
LX_SDK_OFFSET(PF_InData, pre_effect_source_origin_x, 392);
LX_SDK_OFFSET(PF_InData, pre_effect_source_origin_y, 396);
LX_SDK_OFFSET(PF_InData, shutter_phase, 400);

LX_SDK_LAYOUT(PF_OutData, 408);
LX_SDK_OFFSET(PF_OutData, my_version, 0);
LX_SDK_OFFSET(PF_OutData, name, 4);
LX_SDK_OFFSET(PF_OutData, global_data, 40);
LX_SDK_OFFSET(PF_OutData, num_params, 48);
LX_SDK_OFFSET(PF_OutData, sequence_data, 56);
LX_SDK_OFFSET(PF_OutData, flat_sdata_size, 64);
LX_SDK_OFFSET(PF_OutData, frame_data, 72);
LX_SDK_OFFSET(PF_OutData, width, 80);
LX_SDK_OFFSET(PF_OutData, height, 84);
LX_SDK_OFFSET(PF_OutData, origin, 88);
LX_SDK_OFFSET(PF_OutData, out_flags, 96);
LX_SDK_OFFSET(PF_OutData, return_msg, 100);
LX_SDK_OFFSET(PF_OutData, start_sampL, 356);
LX_SDK_OFFSET(PF_OutData, dur_sampL, 360);
LX_SDK_OFFSET(PF_OutData, dest_snd, 368);
LX_SDK_OFFSET(PF_OutData, out_flags2, 400);

LX_SDK_LAYOUT(PF_LayerDef, 120);
LX_SDK_OFFSET(PF_LayerDef, world_flags, 16);
LX_SDK_OFFSET(PF_LayerDef, data, 24);
LX_SDK_OFFSET(PF_LayerDef, rowbytes, 32);
LX_SDK_OFFSET(PF_LayerDef, width, 36);
LX_SDK_OFFSET(PF_LayerDef, height, 40);
LX_SDK_OFFSET(PF_LayerDef, extent_hint, 44);
LX_SDK_OFFSET(PF_LayerDef, platform_ref, 64);
LX_SDK_OFFSET(PF_LayerDef, reserved_long1, 72);
LX_SDK_OFFSET(PF_LayerDef, reserved_long4, 80);
LX_SDK_OFFSET(PF_LayerDef, pix_aspect_ratio, 88);
LX_SDK_OFFSET(PF_LayerDef, reserved_long2, 96);
LX_SDK_OFFSET(PF_LayerDef, origin_x, 104);
LX_SDK_OFFSET(PF_LayerDef, origin_y, 108);
LX_SDK_OFFSET(PF_LayerDef, reserved_long3, 112);
LX_SDK_OFFSET(PF_LayerDef, dephault, 116);

LX_SDK_LAYOUT(PF_SliderDef, 88);
LX_SDK_LAYOUT(PF_FixedSliderDef, 92);
LX_SDK_LAYOUT(PF_FloatSliderDef, 88);
LX_SDK_OFFSET(PF_FloatSliderDef, value_desc, 16);
LX_SDK_OFFSET(PF_FloatSliderDef, valid_min, 48);
LX_SDK_OFFSET(PF_FloatSliderDef, slider_min, 56);
LX_SDK_OFFSET(PF_FloatSliderDef, dephault, 64);
LX_SDK_OFFSET(PF_FloatSliderDef, precision, 68);
LX_SDK_OFFSET(PF_FloatSliderDef, display_flags, 70);
LX_SDK_OFFSET(PF_FloatSliderDef, fs_flags, 72);
LX_SDK_OFFSET(PF_FloatSliderDef, curve_tolerance, 76);
LX_SDK_OFFSET(PF_FloatSliderDef, useExponent, 80);
LX_SDK_OFFSET(PF_FloatSliderDef, exponent, 84);
LX_SDK_LAYOUT(PF_AngleDef, 16);
LX_SDK_LAYOUT(PF_CheckBoxDef, 16);
LX_SDK_OFFSET(PF_CheckBoxDef, dephault, 4);
LX_SDK_OFFSET(PF_CheckBoxDef, u, 8);
LX_SDK_LAYOUT(PF_ColorDef, 8);
static_assert(alignof(PF_ColorDef) == 1, "PF_ColorDef alignment");
LX_SDK_LAYOUT(PF_PointDef, 20);
LX_SDK_OFFSET(PF_PointDef, restrict_bounds, 11);
LX_SDK_OFFSET(PF_PointDef, x_dephault, 12);
LX_SDK_OFFSET(PF_PointDef, y_dephault, 16);
LX_SDK_LAYOUT(PF_Point3DDef, 64);
LX_SDK_OFFSET(PF_Point3DDef, x_dephault, 24);
LX_SDK_OFFSET(PF_Point3DDef, reserved, 48);
LX_SDK_LAYOUT(PF_PopupDef, 16);
LX_SDK_OFFSET(PF_PopupDef, num_choices, 4);
LX_SDK_OFFSET(PF_PopupDef, dephault, 6);
LX_SDK_OFFSET(PF_PopupDef, u, 8);
LX_SDK_LAYOUT(PF_PathDef, 12);
LX_SDK_LAYOUT(PF_ArbitraryDef, 32);
LX_SDK_LAYOUT(PF_ButtonDef, 16);
LX_SDK_LAYOUT(PF_ParamDefUnion, 120);

LX_SDK_LAYOUT(PF_ParamDef, 176);
LX_SDK_OFFSET(PF_ParamDef, ui_flags, 4);
LX_SDK_OFFSET(PF_ParamDef, ui_width, 8);
LX_SDK_OFFSET(PF_ParamDef, ui_height, 10);
LX_SDK_OFFSET(PF_ParamDef, param_type, 12);
LX_SDK_OFFSET(PF_ParamDef, name, 16);
LX_SDK_OFFSET(PF_ParamDef, flags, 48);
LX_SDK_OFFSET(PF_ParamDef, unused, 52);
LX_SDK_OFFSET(PF_ParamDef, u, 56);
LX_SDK_OFFSET(PF_ParamDef, u.ld.data, 80);
LX_SDK_OFFSET(PF_ParamDef, u.ld.rowbytes, 88);
LX_SDK_OFFSET(PF_ParamDef, u.ld.width, 92);
LX_SDK_OFFSET(PF_ParamDef, u.ld.height, 96);
LX_SDK_OFFSET(PF_ParamDef, u.ld.dephault, 172);
LX_SDK_OFFSET(PF_ParamDef, u.fs_d.curve_tolerance, 132);
LX_SDK_OFFSET(PF_ParamDef, u.fs_d.exponent, 140);
LX_SDK_OFFSET(PF_ParamDef, u.cd.value.blue, 59);
LX_SDK_OFFSET(PF_ParamDef, u.cd.dephault, 60);
LX_SDK_OFFSET(PF_ParamDef, u.td.y_dephault, 72);
LX_SDK_OFFSET(PF_ParamDef, u.pd.u.namesptr, 64);
LX_SDK_OFFSET(PF_ParamDef, u.bd.u.nameptr, 64);
LX_SDK_OFFSET(PF_ParamDef, u.path_d.dephault, 64);
LX_SDK_OFFSET(PF_ParamDef, u.point3d_d.z_dephault, 96);

LX_SDK_LAYOUT(PF_UserChangedParamExtra, 4);
LX_SDK_LAYOUT(PF_CustomUIInfo, 44);
LX_SDK_OFFSET(PF_CustomUIInfo, events, 4);
LX_SDK_OFFSET(PF_CustomUIInfo, preview_ui_alignment, 40);

LX_SDK_LAYOUT(PF_RenderRequest, 44);
LX_SDK_OFFSET(PF_RenderRequest, field, 16);
LX_SDK_OFFSET(PF_RenderRequest, channel_mask, 20);
LX_SDK_OFFSET(PF_RenderRequest, preserve_rgb_of_zero_alpha, 24);
LX_SDK_OFFSET(PF_RenderRequest, reserved, 28);
LX_SDK_LAYOUT(PF_PreRenderInput, 48);
LX_SDK_OFFSET(PF_PreRenderInput, bitdepth, 44);
LX_SDK_LAYOUT(PF_PreRenderOutput, 56);
LX_SDK_OFFSET(PF_PreRenderOutput, max_result_rect, 16);
LX_SDK_OFFSET(PF_PreRenderOutput, solid, 32);
LX_SDK_OFFSET(PF_PreRenderOutput, flags, 34);
LX_SDK_OFFSET(PF_PreRenderOutput, pre_render_data, 40);
LX_SDK_OFFSET(PF_PreRenderOutput, delete_pre_render_data_func, 48);
LX_SDK_LAYOUT(PF_CheckoutResult, 76);
LX_SDK_OFFSET(PF_CheckoutResult, max_result_rect, 16);
LX_SDK_OFFSET(PF_CheckoutResult, par, 32);
LX_SDK_OFFSET(PF_CheckoutResult, solid, 40);
LX_SDK_OFFSET(PF_CheckoutResult, ref_width, 44);
LX_SDK_OFFSET(PF_CheckoutResult, reserved, 52);
LX_SDK_LAYOUT(PF_PreRenderCallbacks, 16);
LX_SDK_LAYOUT(PF_PreRenderExtra, 24);
LX_SDK_OFFSET(PF_PreRenderExtra, output, 8);
LX_SDK_OFFSET(PF_PreRenderExtra, cb, 16);
LX_SDK_LAYOUT(PF_SmartRenderInput, 56);
LX_SDK_OFFSET(PF_SmartRenderInput, bitdepth, 44);
LX_SDK_OFFSET(PF_SmartRenderInput, pre_render_data, 48);
LX_SDK_LAYOUT(PF_SmartRenderCallbacks, 24);
LX_SDK_OFFSET(PF_SmartRenderCallbacks, checkout_output, 16);
LX_SDK_LAYOUT(PF_SmartRenderExtra, 16);
LX_SDK_OFFSET(PF_SmartRenderExtra, cb, 8);

LX_SDK_LAYOUT(PF_DoClickEventInfo, 64);
LX_SDK_OFFSET(PF_DoClickEventInfo, continue_refcon, 24);
LX_SDK_OFFSET(PF_DoClickEventInfo, send_drag, 56);
LX_SDK_LAYOUT(PF_EventUnion, 64);
LX_SDK_LAYOUT(PF_EffectWindowInfo, 44);
LX_SDK_OFFSET(PF_EffectWindowInfo, param_title_frame, 24);
LX_SDK_OFFSET(PF_EffectWindowInfo, horiz_offset, 40);
LX_SDK_LAYOUT(PF_EventCallbacks, 72);
LX_SDK_LAYOUT(PF_EventExtra, 208);
LX_SDK_OFFSET(PF_EventExtra, e_type, 8);
LX_SDK_OFFSET(PF_EventExtra, u, 16);
LX_SDK_OFFSET(PF_EventExtra, effect_win, 80);
LX_SDK_OFFSET(PF_EventExtra, cbs, 128);
LX_SDK_OFFSET(PF_EventExtra, evt_in_flags, 200);
LX_SDK_OFFSET(PF_EventExtra, evt_out_flags, 204);

static_assert(PF_VERSION(1, 2, 0, 3, 3) == 0x90603, "version word");

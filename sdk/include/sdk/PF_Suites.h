// The host suites the module uses, declared as the host lays them out: a
// suite pointer points at a table of 8-byte function pointers. Each table
// carries every slot up to its end (unused slots as untyped pointers) so a
// stand-in host can build complete tables. Suites are acquired by name and
// numeric version through the basic suite; the name strings and versions
// below are the ones the module asks for.
//
// Ownership: the host owns every table; a table stays valid from a
// successful AcquireSuite until the matching ReleaseSuite (same name, same
// version). All functions return 0 on success.
#pragma once

#include "sdk/PF_Effect.h"

// --- basic suite (in_data->pica_basicP; never acquired) -----------------------
struct SPBasicSuite {
    SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
    SPErr (*ReleaseSuite)(const char* name, int32_t version);
    SPBoolean (*IsEqual)(const char* token1, const char* token2);
    SPErr (*AllocateBlock)(size_t size, void** block);
    SPErr (*FreeBlock)(void* block);
    SPErr (*ReallocateBlock)(void* block, size_t newSize, void** newblock);
    SPErr (*Undefined)(void);
};

// --- "PF Handle Suite", version 2 ----------------------------------------------
constexpr const char* kPFHandleSuite = "PF Handle Suite";
constexpr int32_t kPFHandleSuiteVersion1 = 2;
struct PF_HandleSuite1 {
    PF_Handle (*host_new_handle)(A_HandleSize size);
    void* (*host_lock_handle)(PF_Handle handle);
    void (*host_unlock_handle)(PF_Handle handle);
    void (*host_dispose_handle)(PF_Handle handle);
    A_HandleSize (*host_get_handle_size)(PF_Handle handle);
    PF_Err (*host_resize_handle)(A_HandleSize new_size, PF_Handle* handleP);
};

// --- "AEGP Utility Suite", version 7 (25 slots) --------------------------------
constexpr const char* kAEGPUtilitySuite = "AEGP Utility Suite";
constexpr int32_t kAEGPUtilitySuiteVersion3 = 7;
struct AEGP_ErrReportState {
    A_long reserved[8];
};
struct AEGP_UtilitySuite3 {
    A_Err (*AEGP_ReportInfo)(AEGP_PluginID aegp_plugin_id, const A_char* info_stringZ);
    A_Err (*AEGP_GetDriverPluginInitFuncVersion)(A_short* major_versionPS, A_short* minor_versionPS);
    A_Err (*AEGP_GetDriverImplementationVersion)(A_short* major_versionPS, A_short* minor_versionPS);
    A_Err (*AEGP_StartQuietErrors)(AEGP_ErrReportState* err_stateP);
    A_Err (*AEGP_EndQuietErrors)(A_Boolean report_quieted_errorsB, AEGP_ErrReportState* err_stateP);
    A_Err (*AEGP_StartUndoGroup)(const A_char* undo_nameZ);
    A_Err (*AEGP_EndUndoGroup)(void);
    A_Err (*AEGP_RegisterWithAEGP)(AEGP_GlobalRefcon global_refcon, const A_char* plugin_nameZ,
                                   AEGP_PluginID* plugin_id);
    void* more[17];
};

// --- "PF Pixel Format Suite", version 1 (the editing host's table) ---------------
constexpr const char* kPFPixelFormatSuite = "PF Pixel Format Suite";
constexpr int32_t kPFPixelFormatSuiteVersion1 = 1;
struct PF_PixelFormatSuite1 {
    PF_Err (*AddSupportedPixelFormat)(PF_ProgPtr effect_ref, PrPixelFormat pixelFormat);
    PF_Err (*ClearSupportedPixelFormats)(PF_ProgPtr effect_ref);
    PF_Err (*NewWorldOfPixelFormat)(PF_ProgPtr effect_ref, A_u_long width, A_u_long height, PF_NewWorldFlags flags,
                                    PrPixelFormat pixelFormat, PF_EffectWorld* world);
    PF_Err (*DisposeWorld)(PF_ProgPtr effect_ref, PF_EffectWorld* world);
    PF_Err (*GetPixelFormat)(PF_EffectWorld* inWorld, PrPixelFormat* pixelFormat);
    PF_Err (*GetBlackForPixelFormat)(PrPixelFormat pixelFormat, void* pixelData);
    PF_Err (*GetWhiteForPixelFormat)(PrPixelFormat pixelFormat, void* pixelData);
    PF_Err (*ConvertColorToPixelFormattedData)(PrPixelFormat pixelFormat, float alpha, float red, float green,
                                               float blue, void* pixelData);
};

// --- "PF World Suite", version 2 -------------------------------------------------
constexpr const char* kPFWorldSuite = "PF World Suite";
constexpr int32_t kPFWorldSuiteVersion2 = 2;
struct PF_WorldSuite2 {
    PF_Err (*PF_NewWorld)(PF_ProgPtr effect_ref, A_long widthL, A_long heightL, PF_Boolean clear_pixB,
                          PF_PixelFormat pixel_format, PF_EffectWorld* worldP);
    PF_Err (*PF_DisposeWorld)(PF_ProgPtr effect_ref, PF_EffectWorld* worldP);
    PF_Err (*PF_GetPixelFormat)(const PF_EffectWorld* worldP, PF_PixelFormat* pixel_formatP);
};

// --- "PF Pixel Data Suite", version 1 --------------------------------------------
// Pass null pixelsP0 for the world's own data; *pixPP comes back null when
// the world's depth does not match the function.
constexpr const char* kPFPixelDataSuite = "PF Pixel Data Suite";
constexpr int32_t kPFPixelDataSuiteVersion1 = 1;
struct PF_PixelDataSuite1 {
    PF_Err (*get_pixel_data8)(PF_EffectWorld* worldP, PF_PixelPtr pixelsP0, PF_Pixel8** pixPP);
    PF_Err (*get_pixel_data16)(PF_EffectWorld* worldP, PF_PixelPtr pixelsP0, PF_Pixel16** pixPP);
    PF_Err (*get_pixel_data_float)(PF_EffectWorld* worldP, PF_PixelPtr pixelsP0, PF_PixelFloat** pixPP);
};

// --- "PF ColorParamSuite", version 1 (no space before "Suite") -------------------
constexpr const char* kPFColorParamSuite = "PF ColorParamSuite";
constexpr int32_t kPFColorParamSuiteVersion1 = 1;
struct PF_ColorParamSuite1 {
    PF_Err (*PF_GetFloatingPointColorFromColorDef)(PF_ProgPtr effect_ref, const PF_ParamDef* color_defP,
                                                   PF_PixelFloat* fp_colorP);
};

// --- "PF Param Utils Suite", versions 3, 2, 1 ------------------------------------
// Only slot 0 is called; it is at the same place in every version.
constexpr const char* kPFParamUtilsSuite = "PF Param Utils Suite";
constexpr int32_t kPFParamUtilsSuiteVersion3 = 3;
constexpr int32_t kPFParamUtilsSuiteVersion1 = 2;  // PF_ParamUtilsSuite1 is numeric 2
constexpr int32_t kPFParamUtilsSuiteVersionOld = 1;
using PF_UpdateParamUIFunc = PF_Err (*)(PF_ProgPtr effect_ref, PF_ParamIndex param_index, const PF_ParamDef* defP);
struct PF_ParamUtilsSuite3 {
    PF_UpdateParamUIFunc PF_UpdateParamUI;
    void* more[8];
};
struct PF_ParamUtilsSuite1 {
    PF_UpdateParamUIFunc PF_UpdateParamUI;
    void* more[9];
};

// --- "PF Effect UI Suite", version 1 -----------------------------------------------
constexpr const char* kPFEffectUISuite = "PF Effect UI Suite";
constexpr int32_t kPFEffectUISuiteVersion1 = 1;
struct PF_EffectUISuite1 {
    PF_Err (*PF_SetOptionsButtonName)(PF_ProgPtr effect_ref, const A_char* nameZ);
};

// --- "AEGP PF Interface Suite", version 1 ------------------------------------------
constexpr const char* kAEGPPFInterfaceSuite = "AEGP PF Interface Suite";
constexpr int32_t kAEGPPFInterfaceSuiteVersion1 = 1;
struct AEGP_PFInterfaceSuite1 {
    A_Err (*AEGP_GetEffectLayer)(PF_ProgPtr effect_pp_ref, AEGP_LayerH* layerPH);
    A_Err (*AEGP_GetNewEffectForEffect)(AEGP_PluginID aegp_plugin_id, PF_ProgPtr effect_pp_ref,
                                        AEGP_EffectRefH* effectPH);
    A_Err (*AEGP_ConvertEffectToCompTime)(PF_ProgPtr effect_pp_ref, A_long what_timeL, A_u_long time_scaleLu,
                                          A_Time* comp_timePT);
    void* AEGP_GetEffectCamera;
    void* AEGP_GetEffectCameraMatrix;
};

// --- "AEGP Layer Suite", version 11 (46 slots) --------------------------------------
constexpr const char* kAEGPLayerSuite = "AEGP Layer Suite";
constexpr int32_t kAEGPLayerSuiteVersion5 = 11;
struct AEGP_LayerSuite5 {
    A_Err (*AEGP_GetCompNumLayers)(AEGP_CompH compH, A_long* num_layersPL);
    A_Err (*AEGP_GetCompLayerByIndex)(AEGP_CompH compH, A_long layer_indexL, AEGP_LayerH* layerPH);
    A_Err (*AEGP_GetActiveLayer)(AEGP_LayerH* layerPH);
    A_Err (*AEGP_GetLayerIndex)(AEGP_LayerH layerH, A_long* layer_indexPL);
    A_Err (*AEGP_GetLayerSourceItem)(AEGP_LayerH layerH, AEGP_ItemH* source_itemPH);
    A_Err (*AEGP_GetLayerSourceItemID)(AEGP_LayerH layerH, A_long* source_item_idPL);
    A_Err (*AEGP_GetLayerParentComp)(AEGP_LayerH layerH, AEGP_CompH* compPH);
    void* more[39];
};

// --- "AEGP Comp Suite", version 9 (28 slots) ------------------------------------------
constexpr const char* kAEGPCompSuite = "AEGP Comp Suite";
constexpr int32_t kAEGPCompSuiteVersion4 = 9;
struct AEGP_CompSuite4 {
    A_Err (*AEGP_GetCompFromItem)(AEGP_ItemH itemH, AEGP_CompH* compPH);
    A_Err (*AEGP_GetItemFromComp)(AEGP_CompH compH, AEGP_ItemH* itemPH);
    void* more[26];
};

// --- "AEGP Item Suite", version 10 (26 slots) ------------------------------------------
constexpr const char* kAEGPItemSuite = "AEGP Item Suite";
constexpr int32_t kAEGPItemSuiteVersion6 = 10;
struct AEGP_ItemSuite6 {
    A_Err (*AEGP_GetFirstProjItem)(AEGP_ProjectH projectH, AEGP_ItemH* itemPH);
    A_Err (*AEGP_GetNextProjItem)(AEGP_ProjectH projectH, AEGP_ItemH itemH, AEGP_ItemH* next_itemPH);
    A_Err (*AEGP_GetActiveItem)(AEGP_ItemH* itemPH);
    A_Err (*AEGP_IsItemSelected)(AEGP_ItemH itemH, A_Boolean* selectedPB);
    A_Err (*AEGP_SelectItem)(AEGP_ItemH itemH, A_Boolean selectB, A_Boolean deselect_othersB);
    A_Err (*AEGP_GetItemType)(AEGP_ItemH itemH, AEGP_ItemType* item_typeP);
    A_Err (*AEGP_GetTypeName)(AEGP_ItemType item_type, A_char* nameZ);
    A_Err (*AEGP_GetItemName)(AEGP_ItemH itemH, A_char* nameZ);
    A_Err (*AEGP_SetItemName)(AEGP_ItemH itemH, const A_char* nameZ);
    A_Err (*AEGP_GetItemID)(AEGP_ItemH itemH, A_long* item_idPL);
    A_Err (*AEGP_GetItemFlags)(AEGP_ItemH itemH, AEGP_ItemFlags* item_flagsP);
    A_Err (*AEGP_SetItemUseProxy)(AEGP_ItemH itemH, A_Boolean use_proxyB);
    A_Err (*AEGP_GetItemParentFolder)(AEGP_ItemH itemH, AEGP_ItemH* parent_folder_itemPH);
    A_Err (*AEGP_SetItemParentFolder)(AEGP_ItemH itemH, AEGP_ItemH parent_folder_itemH);
    A_Err (*AEGP_GetItemDuration)(AEGP_ItemH itemH, A_Time* durationPT);
    A_Err (*AEGP_GetItemCurrentTime)(AEGP_ItemH itemH, A_Time* curr_timePT);
    A_Err (*AEGP_GetItemDimensions)(AEGP_ItemH itemH, A_long* widthPL, A_long* heightPL);
    A_Err (*AEGP_GetItemPixelAspectRatio)(AEGP_ItemH itemH, A_Ratio* pix_aspect_ratioPRt);
    void* more[8];
};

// --- "PF Utility Suite" (editing host), version 3 (11 slots) -------------------------------
constexpr const char* kPFUtilitySuite = "PF Utility Suite";
constexpr int32_t kPFUtilitySuiteVersion3 = 3;
struct PF_UtilitySuite3 {
    PF_Err (*GetFilterInstanceID)(PF_ProgPtr effect_ref, A_long* outFilterInstanceID);
    PF_Err (*GetMediaTimecode)(PF_ProgPtr effect_ref, A_long* outCurrentFrame, PF_TimeDisplay* outTimeDisplay);
    PF_Err (*GetClipSpeed)(PF_ProgPtr effect_ref, double* speed);
    PF_Err (*GetClipDuration)(PF_ProgPtr effect_ref, A_long* frameDuration);
    PF_Err (*GetClipStart)(PF_ProgPtr effect_ref, A_long* clipStartFrame);
    PF_Err (*GetUnscaledClipDuration)(PF_ProgPtr effect_ref, A_long* frameDuration);
    PF_Err (*GetUnscaledClipStart)(PF_ProgPtr effect_ref, A_long* clipStartFrame);
    PF_Err (*GetTrackItemStart)(PF_ProgPtr effect_ref, A_long* trackItemStart);
    PF_Err (*GetMediaFieldType)(PF_ProgPtr effect_ref, prFieldType* outFieldType);
    PF_Err (*GetMediaFrameRate)(PF_ProgPtr effect_ref, PrTime* outTicksPerFrame);
    PF_Err (*GetContainingTimelineID)(PF_ProgPtr effect_ref, PrTimelineID* outTimelineID);
};

// --- "MediaCore Sequence Info Suite" (editing host), version 2 ---------------------------------
// Version 2 ends after GetFrameRate; later versions append slots.
constexpr const char* kPrSDKSequenceInfoSuite = "MediaCore Sequence Info Suite";
constexpr int32_t kPrSDKSequenceInfoSuiteVersion2 = 2;
struct PrSDKSequenceInfoSuite {
    prSuiteError (*GetFrameRect)(PrTimelineID inTimelineID, prRect* outFrameRect);
    prSuiteError (*GetPixelAspectRatio)(PrTimelineID inTimelineID, csSDK_uint32* outNumerator,
                                        csSDK_uint32* outDenominator);
    prSuiteError (*GetFrameRate)(PrTimelineID inTimelineID, PrTime* outTicksPerFrame);
};

// ---------------------------------------------------------------------------
// Layout checks (x86-64)
// ---------------------------------------------------------------------------
LX_SDK_LAYOUT(SPBasicSuite, 56);
LX_SDK_LAYOUT(PF_HandleSuite1, 48);
LX_SDK_LAYOUT(AEGP_UtilitySuite3, 200);
LX_SDK_OFFSET(AEGP_UtilitySuite3, AEGP_RegisterWithAEGP, 56);
LX_SDK_LAYOUT(PF_PixelFormatSuite1, 64);
LX_SDK_OFFSET(PF_PixelFormatSuite1, GetPixelFormat, 32);
LX_SDK_LAYOUT(PF_WorldSuite2, 24);
LX_SDK_OFFSET(PF_WorldSuite2, PF_GetPixelFormat, 16);
LX_SDK_LAYOUT(PF_PixelDataSuite1, 24);
LX_SDK_LAYOUT(PF_ColorParamSuite1, 8);
LX_SDK_LAYOUT(PF_ParamUtilsSuite3, 72);
LX_SDK_LAYOUT(PF_ParamUtilsSuite1, 80);
LX_SDK_LAYOUT(PF_EffectUISuite1, 8);
LX_SDK_LAYOUT(AEGP_PFInterfaceSuite1, 40);
LX_SDK_LAYOUT(AEGP_LayerSuite5, 368);
LX_SDK_OFFSET(AEGP_LayerSuite5, AEGP_GetLayerParentComp, 48);
LX_SDK_LAYOUT(AEGP_CompSuite4, 224);
LX_SDK_OFFSET(AEGP_CompSuite4, AEGP_GetItemFromComp, 8);
LX_SDK_LAYOUT(AEGP_ItemSuite6, 208);
LX_SDK_OFFSET(AEGP_ItemSuite6, AEGP_GetItemDimensions, 128);
LX_SDK_OFFSET(AEGP_ItemSuite6, AEGP_GetItemPixelAspectRatio, 136);
LX_SDK_LAYOUT(PF_UtilitySuite3, 88);
LX_SDK_OFFSET(PF_UtilitySuite3, GetContainingTimelineID, 80);
LX_SDK_OFFSET(PrSDKSequenceInfoSuite, GetPixelAspectRatio, 8);

#pragma once
// The table of every media-library entry point the application calls.
//
// Nothing links FFmpeg, SDL or the C runtime's formatting through the
// linker: the loader binds each name below with dlsym into the global `AV`
// table, and code calls `AV.avcodec_open2(...)`. The types come from the
// libraries' own headers (decltype), so a signature can never drift.
//
// To use a new entry point, add its name to the list of its library; the
// binding test proves it is exported by the installed library.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/avstring.h>
#include <libavutil/channel_layout.h>
#include <libavutil/cpu.h>
#include <libavutil/display.h>
#include <libavutil/dict.h>
#include <libavutil/fifo.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/rational.h>
#include <libavutil/samplefmt.h>
#include <libavutil/time.h>
#include <libavutil/timestamp.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
// libavdevice is never loaded by the application, so its headers are not
// installed; its one entry point is declared here as the library exports it.
void avdevice_register_all(void);
}
#include <SDL2/SDL.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// avutil
#define VEXA_AVUTIL_ENTRIES(F) \
    F(av_log) F(av_vlog) F(av_log_set_callback) F(av_log_set_level) F(av_log_get_level) \
    F(av_log_default_callback) F(av_log_set_flags) F(av_log_get_flags) F(av_default_item_name) \
    F(av_malloc) F(av_mallocz) F(av_calloc) F(av_realloc) F(av_free) F(av_freep) F(av_strdup) \
    F(av_fast_malloc) F(av_fast_realloc) F(av_strerror) \
    F(av_strlcpy) F(av_strlcat) F(av_strstart) F(av_stristart) F(av_strcasecmp) F(av_strncasecmp) \
    F(av_dict_get) F(av_dict_set) F(av_dict_set_int) F(av_dict_free) F(av_dict_copy) F(av_dict_count) \
    F(av_dict_parse_string) \
    F(av_frame_alloc) F(av_frame_free) F(av_frame_unref) F(av_frame_ref) F(av_frame_clone) \
    F(av_frame_move_ref) F(av_frame_get_buffer) F(av_frame_make_writable) F(av_frame_copy) \
    F(av_frame_copy_props) F(av_frame_is_writable) \
    F(av_image_alloc) F(av_image_copy) F(av_image_copy_plane) F(av_image_fill_arrays) \
    F(av_image_get_buffer_size) F(av_image_fill_linesizes) F(av_image_copy_to_buffer) \
    F(av_image_check_size) F(av_image_fill_black) \
    F(av_pix_fmt_desc_get) F(av_pix_fmt_desc_next) F(av_pix_fmt_desc_get_id) F(av_get_pix_fmt) \
    F(av_get_pix_fmt_name) F(av_get_bits_per_pixel) F(av_pix_fmt_count_planes) \
    F(av_find_best_pix_fmt_of_2) F(av_get_pix_fmt_loss) \
    F(av_get_sample_fmt) F(av_get_sample_fmt_name) F(av_get_bytes_per_sample) \
    F(av_sample_fmt_is_planar) F(av_get_packed_sample_fmt) F(av_get_planar_sample_fmt) \
    F(av_samples_alloc) F(av_samples_alloc_array_and_samples) F(av_samples_get_buffer_size) \
    F(av_samples_set_silence) F(av_samples_copy) F(av_samples_fill_arrays) \
    F(av_audio_fifo_alloc) F(av_audio_fifo_free) F(av_audio_fifo_write) F(av_audio_fifo_read) \
    F(av_audio_fifo_peek) F(av_audio_fifo_size) F(av_audio_fifo_drain) F(av_audio_fifo_reset) \
    F(av_fifo_alloc2) F(av_fifo_freep2) F(av_fifo_write) F(av_fifo_read) F(av_fifo_peek) \
    F(av_fifo_can_read) F(av_fifo_can_write) F(av_fifo_reset2) F(av_fifo_drain2) \
    F(av_channel_layout_default) F(av_channel_layout_uninit) F(av_channel_layout_copy) \
    F(av_channel_layout_describe) F(av_channel_layout_compare) F(av_channel_layout_from_mask) \
    F(av_channel_layout_from_string) F(av_channel_layout_check) F(av_channel_name) \
    F(av_compare_ts) F(av_compare_mod) F(av_rescale_q) F(av_rescale_q_rnd) F(av_rescale) \
    F(av_rescale_rnd) F(av_rescale_delta) F(av_reduce) F(av_gcd) F(av_d2q) F(av_mul_q) F(av_div_q) \
    F(av_add_q) F(av_sub_q) F(av_nearer_q) F(av_find_nearest_q_idx) F(av_get_time_base_q) \
    F(av_parse_video_size) F(av_parse_video_rate) F(av_parse_ratio) F(av_parse_time) \
    F(av_gettime) F(av_gettime_relative) F(av_usleep) \
    F(av_opt_set) F(av_opt_set_int) F(av_opt_set_double) F(av_opt_set_q) F(av_opt_set_bin) \
    F(av_opt_set_image_size) F(av_opt_set_pixel_fmt) F(av_opt_set_sample_fmt) \
    F(av_opt_set_chlayout) F(av_opt_set_dict) F(av_opt_set_dict2) F(av_opt_get) \
    F(av_opt_get_int) F(av_opt_get_double) F(av_opt_get_q) F(av_opt_find) F(av_opt_find2) \
    F(av_opt_next) F(av_opt_child_class_iterate) F(av_opt_child_next) F(av_opt_set_defaults) \
    F(av_opt_free) F(av_opt_is_set_to_default_by_name) F(av_opt_eval_flags) \
    F(av_get_media_type_string) F(av_get_picture_type_char) F(av_cpu_count) F(av_get_token) \
    F(av_buffer_ref) F(av_buffer_unref) F(av_buffer_alloc) F(av_buffer_create) F(av_buffer_default_free) \
    F(av_buffer_pool_init) F(av_buffer_pool_get) F(av_buffer_pool_uninit) \
    F(av_display_rotation_get) F(av_version_info) F(avutil_version)

// swscale
#define VEXA_SWSCALE_ENTRIES(F) \
    F(sws_getContext) F(sws_getCachedContext) F(sws_freeContext) F(sws_scale) F(sws_scale_frame) \
    F(sws_alloc_context) F(sws_init_context) F(sws_get_class) F(sws_isSupportedInput) \
    F(sws_isSupportedOutput) F(sws_setColorspaceDetails) F(sws_getCoefficients) F(swscale_version)

// swresample
#define VEXA_SWRESAMPLE_ENTRIES(F) \
    F(swr_alloc) F(swr_alloc_set_opts2) F(swr_init) F(swr_is_initialized) F(swr_free) F(swr_close) \
    F(swr_convert) F(swr_convert_frame) F(swr_config_frame) F(swr_get_delay) F(swr_get_out_samples) \
    F(swr_set_compensation) F(swr_next_pts) F(swr_drop_output) F(swr_inject_silence) \
    F(swr_get_class) F(swresample_version)

// avcodec
#define VEXA_AVCODEC_ENTRIES(F) \
    F(avcodec_find_decoder) F(avcodec_find_decoder_by_name) F(avcodec_find_encoder) \
    F(avcodec_find_encoder_by_name) F(av_codec_iterate) F(av_codec_is_encoder) F(av_codec_is_decoder) \
    F(avcodec_alloc_context3) F(avcodec_free_context) F(avcodec_open2) F(avcodec_close) \
    F(avcodec_get_class) F(avcodec_get_subtitle_rect_class) \
    F(avcodec_parameters_alloc) F(avcodec_parameters_free) F(avcodec_parameters_copy) \
    F(avcodec_parameters_to_context) F(avcodec_parameters_from_context) \
    F(avcodec_send_packet) F(avcodec_receive_frame) F(avcodec_send_frame) F(avcodec_receive_packet) \
    F(avcodec_flush_buffers) F(avcodec_decode_subtitle2) F(avcodec_encode_subtitle) F(avsubtitle_free) \
    F(avcodec_get_name) F(avcodec_get_type) F(avcodec_descriptor_get) F(avcodec_descriptor_get_by_name) \
    F(avcodec_descriptor_next) F(avcodec_string) F(avcodec_profile_name) F(av_get_profile_name) \
    F(avcodec_align_dimensions2) F(avcodec_default_get_buffer2) F(avcodec_find_best_pix_fmt_of_list) \
    F(avcodec_pix_fmt_to_codec_tag) F(avcodec_get_hw_config) \
    F(av_packet_alloc) F(av_packet_free) F(av_packet_unref) F(av_packet_ref) F(av_packet_clone) \
    F(av_packet_move_ref) F(av_packet_copy_props) F(av_packet_rescale_ts) F(av_new_packet) \
    F(av_shrink_packet) F(av_grow_packet) F(av_packet_make_writable) F(av_packet_make_refcounted) \
    F(av_packet_get_side_data) F(av_packet_new_side_data) F(av_packet_from_data) \
    F(av_bsf_get_by_name) F(av_bsf_alloc) F(av_bsf_init) F(av_bsf_send_packet) \
    F(av_bsf_receive_packet) F(av_bsf_free) F(av_bsf_flush) F(av_bsf_get_class) F(av_bsf_iterate) \
    F(av_bsf_list_parse_str) \
    F(av_parser_init) F(av_parser_parse2) F(av_parser_close) F(av_parser_iterate) \
    F(av_get_bits_per_sample) F(av_get_exact_bits_per_sample) F(av_get_audio_frame_duration) \
    F(av_get_audio_frame_duration2) F(av_get_pcm_codec) F(av_xiphlacing) \
    F(av_cpb_properties_alloc) F(avcodec_version)

// avformat
#define VEXA_AVFORMAT_ENTRIES(F) \
    F(avformat_alloc_context) F(avformat_free_context) F(avformat_open_input) F(avformat_close_input) \
    F(avformat_find_stream_info) F(avformat_alloc_output_context2) F(avformat_new_stream) \
    F(avformat_init_output) F(avformat_write_header) F(av_write_trailer) \
    F(av_interleaved_write_frame) F(av_write_frame) F(av_read_frame) F(av_read_play) F(av_read_pause) \
    F(av_seek_frame) F(avformat_seek_file) F(avformat_flush) F(av_find_input_format) \
    F(av_guess_format) F(av_guess_codec) F(av_guess_frame_rate) F(av_guess_sample_aspect_ratio) \
    F(av_find_best_stream) F(av_dump_format) F(av_demuxer_iterate) F(av_muxer_iterate) \
    F(avformat_get_class) F(avformat_query_codec) F(av_codec_get_id) F(av_codec_get_tag) \
    F(av_codec_get_tag2) F(avformat_get_riff_video_tags) F(avformat_get_riff_audio_tags) \
    F(avformat_get_mov_video_tags) F(avformat_get_mov_audio_tags) \
    F(avio_alloc_context) F(avio_context_free) F(avio_open2) F(avio_open) F(avio_closep) F(avio_close) \
    F(avio_size) F(avio_seek) F(avio_flush) F(avio_feof) F(avio_write) F(avio_read) F(avio_w8) \
    F(avio_find_protocol_name) F(avio_enum_protocols) F(avio_check) \
    F(av_filename_number_test) F(av_get_frame_filename) F(av_new_program) \
    F(av_find_program_from_stream) F(av_sdp_create) F(avformat_match_stream_specifier) \
    F(av_stream_get_parser) F(av_stream_get_side_data) F(av_stream_new_side_data) \
    F(av_pkt_dump_log2) F(avformat_network_init) F(avformat_network_deinit) F(avformat_version)

// avfilter
#define VEXA_AVFILTER_ENTRIES(F) \
    F(avfilter_get_by_name) F(av_filter_iterate) F(avfilter_get_class) \
    F(avfilter_graph_alloc) F(avfilter_graph_free) F(avfilter_graph_create_filter) \
    F(avfilter_graph_alloc_filter) F(avfilter_graph_config) F(avfilter_graph_parse_ptr) \
    F(avfilter_graph_parse2) F(avfilter_graph_send_command) F(avfilter_graph_request_oldest) \
    F(avfilter_graph_dump) F(avfilter_graph_get_filter) F(avfilter_init_str) F(avfilter_init_dict) \
    F(avfilter_link) F(avfilter_free) F(avfilter_inout_alloc) F(avfilter_inout_free) \
    F(avfilter_pad_get_name) F(avfilter_pad_get_type) F(avfilter_filter_pad_count) \
    F(av_buffersrc_add_frame_flags) F(av_buffersrc_add_frame) F(av_buffersrc_write_frame) \
    F(av_buffersrc_parameters_alloc) F(av_buffersrc_parameters_set) F(av_buffersrc_close) \
    F(av_buffersrc_get_nb_failed_requests) \
    F(av_buffersink_get_frame) F(av_buffersink_get_frame_flags) F(av_buffersink_get_samples) \
    F(av_buffersink_set_frame_size) F(av_buffersink_get_time_base) F(av_buffersink_get_format) \
    F(av_buffersink_get_type) F(av_buffersink_get_w) F(av_buffersink_get_h) \
    F(av_buffersink_get_frame_rate) F(av_buffersink_get_sample_aspect_ratio) \
    F(av_buffersink_get_sample_rate) F(av_buffersink_get_ch_layout) F(avfilter_version)

// avdevice: bound for completeness of the table, never loaded by the application.
#define VEXA_AVDEVICE_ENTRIES(F) F(avdevice_register_all)

// The C runtime: the formatting and stdio that the log relay and the
// statistics files use.
#define VEXA_MYUTIL_ENTRIES(F) \
    F(fclose) F(fopen) F(fprintf) F(fread) F(fseek) F(ftell) F(fwrite) F(snprintf) F(strtod) \
    F(strtok) F(strtol) F(vsnprintf)

// SDL2: sound output, timers, threads and the standalone video window.
#define VEXA_SDL_ENTRIES(F) \
    F(SDL_Init) F(SDL_InitSubSystem) F(SDL_QuitSubSystem) F(SDL_WasInit) F(SDL_Quit) F(SDL_GetError) \
    F(SDL_SetHint) F(SDL_AddTimer) F(SDL_RemoveTimer) F(SDL_Delay) F(SDL_GetTicks) \
    F(SDL_OpenAudioDevice) F(SDL_PauseAudioDevice) F(SDL_CloseAudioDevice) F(SDL_LockAudioDevice) \
    F(SDL_UnlockAudioDevice) F(SDL_GetAudioDeviceStatus) F(SDL_MixAudioFormat) F(SDL_QueueAudio) \
    F(SDL_GetQueuedAudioSize) F(SDL_ClearQueuedAudio) F(SDL_LoadWAV_RW) F(SDL_RWFromFile) \
    F(SDL_FreeWAV) F(SDL_GetCurrentAudioDriver) F(SDL_GetCurrentVideoDriver) \
    F(SDL_WaitEvent) F(SDL_WaitEventTimeout) F(SDL_PollEvent) F(SDL_PushEvent) F(SDL_EventState) \
    F(SDL_RegisterEvents) F(SDL_FlushEvent) \
    F(SDL_CreateWindow) F(SDL_DestroyWindow) F(SDL_SetWindowTitle) F(SDL_SetWindowSize) \
    F(SDL_ShowWindow) F(SDL_CreateRenderer) F(SDL_DestroyRenderer) F(SDL_CreateTexture) \
    F(SDL_DestroyTexture) F(SDL_UpdateYUVTexture) F(SDL_UpdateTexture) F(SDL_RenderClear) \
    F(SDL_RenderCopy) F(SDL_RenderPresent) F(SDL_SetRenderDrawColor) F(SDL_RenderFillRect) \
    F(SDL_CreateMutex) F(SDL_LockMutex) F(SDL_UnlockMutex) F(SDL_DestroyMutex) F(SDL_CreateCond) \
    F(SDL_DestroyCond) F(SDL_CondSignal) F(SDL_CondBroadcast) F(SDL_CondWait) F(SDL_CondWaitTimeout) \
    F(SDL_CreateThread) F(SDL_WaitThread)

namespace vexa {

struct TAVEntries {
#define VEXA_DECLARE_ENTRY(name) decltype(&::name) name = nullptr;
    VEXA_AVCODEC_ENTRIES(VEXA_DECLARE_ENTRY)
    VEXA_AVDEVICE_ENTRIES(VEXA_DECLARE_ENTRY)
    VEXA_AVFILTER_ENTRIES(VEXA_DECLARE_ENTRY)
    VEXA_AVFORMAT_ENTRIES(VEXA_DECLARE_ENTRY)
    VEXA_AVUTIL_ENTRIES(VEXA_DECLARE_ENTRY)
    VEXA_SWSCALE_ENTRIES(VEXA_DECLARE_ENTRY)
    VEXA_MYUTIL_ENTRIES(VEXA_DECLARE_ENTRY)
    VEXA_SDL_ENTRIES(VEXA_DECLARE_ENTRY)
    VEXA_SWRESAMPLE_ENTRIES(VEXA_DECLARE_ENTRY)
#undef VEXA_DECLARE_ENTRY
};

// Process-wide table; an entry is null while its library is not bound.
extern TAVEntries AV;

}  // namespace vexa

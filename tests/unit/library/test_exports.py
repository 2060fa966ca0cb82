#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""libquillrun-replayer.so exports its public interface and nothing else, under
the SONAME its ABI number gives, and needs no C++ runtime.

usage: test_exports.py LIBRARY
"""
import subprocess
import sys
import unittest

LIBRARY = sys.argv.pop(1) if len(sys.argv) > 1 else "lib/libquillrun-replayer.so"
SONAME = "libquillrun-replayer.so.5"

PUBLIC = {
    # C
    "quillrun_load", "quillrun_free", "quillrun_render", "quillrun_get_position",
    "quillrun_pass_ended", "quillrun_pass_frames", "quillrun_duration", "quillrun_pass_end",
    "quillrun_set_position", "quillrun_title", "quillrun_instrument_count",
    "quillrun_instrument_name", "quillrun_sample_count", "quillrun_sample_name", "quillrun_message",
    "quillrun_render_output", "quillrun_default_settings", "quillrun_listening_settings",
    "quillrun_set_settings", "quillrun_get_settings", "quillrun_seek_frame",
    "quillrun_seek_seconds", "quillrun_seek_row", "quillrun_time_at", "quillrun_channel_count",
    "quillrun_set_channel_mute", "quillrun_set_channel_solo", "quillrun_set_channel_volume",
    "quillrun_set_repeat_count", "quillrun_song_ended", "quillrun_subsong_count",
    "quillrun_subsong_info", "quillrun_select_subsong", "quillrun_get_song_state",
    "quillrun_get_channel_info", "quillrun_set_peak_meters", "quillrun_pattern_rows", "quillrun_get_cell", "quillrun_cell_text",
    # C++
    "replayer::envelope_error(replayer::EnvelopeRecord const&)",
    "replayer::module_prescan(unsigned char const*, unsigned long)",
    "replayer::context_size(replayer::ModuleScan const&)",
    "replayer::load_module_checked(unsigned char const*, unsigned long)",
    "replayer::load_module(unsigned char const*, unsigned long)",
    "replayer::free_module(replayer::ReplayContext*)",
    "replayer::playback_position(replayer::ReplayContext const&)",
    "replayer::pass_ended(replayer::ReplayContext const&)",
    "replayer::generate_frames(replayer::ReplayContext*, float*, unsigned int)",
    "replayer::render(replayer::ReplayContext*, void*, unsigned int)",
    "replayer::convert_to_s16(float const*, short*, unsigned long)",
    "replayer::render_settings_error(replayer::RenderSettings const&)",
    "replayer::set_render_settings(replayer::ReplayContext*, replayer::RenderSettings const&)",
    "replayer::measure_pass(replayer::ReplayContext*, unsigned long)",
    "replayer::restart_song(replayer::ReplayContext*)",
    "replayer::song_ended(replayer::ReplayContext const&)",
    "replayer::measure_song(replayer::ReplayContext*, unsigned long)",
    "replayer::set_repeat_count(replayer::ReplayContext*, int)",
    "replayer::list_subsongs(replayer::ReplayContext*, replayer::SubsongInfo*, unsigned int)",
    "replayer::select_subsong(replayer::ReplayContext*, unsigned int)",
    "replayer::song_state(replayer::ReplayContext const&)",
    "replayer::set_peak_meters(replayer::ReplayContext*, bool)",
    "replayer::channel_info(replayer::ReplayContext const&, unsigned char, replayer::ChannelInfo*)",
    "replayer::pattern_rows(replayer::ReplayContext const&, unsigned short)",
    "replayer::pattern_cell(replayer::ReplayContext const&, unsigned short, unsigned short, "
    "unsigned char, replayer::PatternSlot*)",
    "replayer::cell_text(replayer::ReplayContext const&, replayer::PatternSlot const&, char*, "
    "unsigned long)",
    "replayer::time_at(replayer::ReplayContext*, unsigned short, unsigned char)",
    "replayer::seek_to_frame(replayer::ReplayContext*, unsigned long)",
    "replayer::seek_to_seconds(replayer::ReplayContext*, double)",
    "replayer::seek_to_row(replayer::ReplayContext*, unsigned short, unsigned char)",
    "replayer::set_channel_mute(replayer::ReplayContext*, unsigned char, bool)",
    "replayer::set_channel_solo(replayer::ReplayContext*, unsigned char, bool)",
    "replayer::set_channel_volume(replayer::ReplayContext*, unsigned char, float)",
    "replayer::set_position(replayer::ReplayContext*, unsigned short, unsigned char)",
    "replayer::module_name_count(unsigned char const*, unsigned long, replayer::NameKind)",
    "replayer::module_name(unsigned char const*, unsigned long, replayer::NameKind, "
    "unsigned int, char*, unsigned long)",
}


def run(*args):
    return subprocess.run(args, capture_output=True, text=True, check=True).stdout


class ExportTest(unittest.TestCase):
    def test_exactly_the_public_interface_is_exported(self):
        lines = run("nm", "-DC", "--defined-only", LIBRARY).splitlines()
        exported = {line.split(" ", 2)[2] for line in lines}
        self.assertEqual(exported - PUBLIC, set(), "exported but not public")
        self.assertEqual(PUBLIC - exported, set(), "public but not exported")

    def test_soname_and_needed_libraries(self):
        dynamic = run("objdump", "-p", LIBRARY)
        self.assertIn(f"SONAME               {SONAME}", dynamic)
        needed = {line.split()[1] for line in dynamic.splitlines() if "NEEDED" in line}
        self.assertEqual(needed, {"libm.so.6", "libc.so.6"})


if __name__ == "__main__":
    unittest.main(verbosity=2)

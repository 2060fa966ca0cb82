# SPDX-License-Identifier: GPL-2.0-or-later
# find_package(QuillrunReplayer): the imported targets QuillrunReplayer::replayer
# (the shared library) and QuillrunReplayer::replayer_static.
include("${CMAKE_CURRENT_LIST_DIR}/QuillrunReplayerTargets.cmake")

# shellcheck shell=bash disable=SC2034
# What winget and Scoop show of Brasselt, read by scripts/release.sh; the version is the one in
# CMakeLists.txt.
identifier=Tolvik.Brasselt
name=Brasselt
publisher=Tolvik
homepage=https://www.tolvik.example/
description="Switches Windows' AutoRun off or on for every drive at once"
# No licence is granted in this tree. For that case winget's manifest documentation asks for
# "Proprietary", and Scoop's wiki has it among the words for a licence without an SPDX
# identifier. Once the owner chooses a licence, its SPDX identifier goes here.
license=Proprietary

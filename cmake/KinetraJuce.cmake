# SPDX-License-Identifier: GPL-3.0-or-later
find_package(Threads REQUIRED)
# The JUCE modules we use, compiled once into one static library that every
# other target links, instead of being rebuilt inside each executable.
add_library(kinetra_juce STATIC)
target_link_libraries(kinetra_juce
    PRIVATE
        juce::juce_core
        juce::juce_events
        juce::juce_audio_basics
        juce::juce_audio_devices
        juce::juce_osc)
set(_kinetra_juce_defs
    JUCE_USE_CURL=0
    JUCE_WEB_BROWSER=0
    JUCE_STANDALONE_APPLICATION=0
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_USE_XRANDR=0
    JUCE_USE_XINERAMA=0
    JUCE_JACK=1
    JUCE_ALSA=1
    JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1
    JUCE_MODULE_AVAILABLE_juce_core=1
    JUCE_MODULE_AVAILABLE_juce_events=1
    JUCE_MODULE_AVAILABLE_juce_audio_basics=1
    JUCE_MODULE_AVAILABLE_juce_audio_devices=1
    JUCE_MODULE_AVAILABLE_juce_osc=1
    $<$<CONFIG:Debug>:DEBUG=1>
    $<$<CONFIG:Debug>:_DEBUG=1>
    $<$<NOT:$<CONFIG:Debug>>:NDEBUG=1>)
target_compile_definitions(kinetra_juce PUBLIC ${_kinetra_juce_defs})
target_include_directories(kinetra_juce SYSTEM PUBLIC
    $<TARGET_PROPERTY:juce::juce_core,INTERFACE_INCLUDE_DIRECTORIES>)
find_package(PkgConfig REQUIRED)
pkg_check_modules(KINETRA_ALSA REQUIRED IMPORTED_TARGET alsa)
# libjack: JUCE opens it itself for audio; the JACK MIDI port links it.
pkg_check_modules(KINETRA_JACK REQUIRED IMPORTED_TARGET jack)
target_link_libraries(kinetra_juce PUBLIC PkgConfig::KINETRA_ALSA ${CMAKE_DL_LIBS} Threads::Threads)
if(KINETRA_JACK_FOUND)
    target_link_libraries(kinetra_juce PRIVATE PkgConfig::KINETRA_JACK)
endif()
set_target_properties(kinetra_juce PROPERTIES POSITION_INDEPENDENT_CODE ON)

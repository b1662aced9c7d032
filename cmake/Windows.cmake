# The Windows side of the build: the engine, the program, the writer stand-in
# and the tests that run under Wine.
enable_language(RC)

if(MINGW)
  # Static runtime: the program ships as one .exe with no compiler DLLs.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # No link time in the program: the same sources give the same bytes.
  add_link_options(-Wl,--no-insert-timestamp)
endif()
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)

add_library(quillomat_engine STATIC
  recorder/ScreenRecorder.cpp
  recorder/Recording.cpp
  recorder/ScreenGrabber.cpp
  recorder/Mp4Writer.cpp
  recorder/SoundTrack.cpp
  recorder/AudioSource.cpp
  recorder/MediaFoundation.cpp
  recorder/UnfinishedRecordings.cpp
)
target_include_directories(quillomat_engine PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(quillomat_engine PRIVATE ${QM_WARNINGS})
# Media Foundation's DLLs are loaded at run time (recorder/MediaFoundation.*):
# only its GUIDs are linked.
target_link_libraries(quillomat_engine PUBLIC quillomat_core mfuuid ole32 oleaut32 uuid gdi32 user32 advapi32)

# What the program's windows share; the update's progress window is one too.
add_library(quillomat_ui STATIC ui/Window.cpp)
target_include_directories(quillomat_ui PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(quillomat_ui PRIVATE ${QM_WARNINGS})
target_link_libraries(quillomat_ui PUBLIC quillomat_core gdi32 user32)

# System DLLs that are not Known DLLs are delay-loaded: the loader resolves
# static imports before wWinMain restricts the search to System32
# (app/Main.cpp), so a file of one's name beside a portable copy would be
# loaded in its place. Loaded at their first call, they come from System32.
set(QM_DELAY_LOADED version winhttp wintrust crypt32 bcrypt)
if(MINGW)
  # Delay-import libraries of the functions we call (cmake/delay-load/),
  # resolved by mingw-w64's own helper in libmingwex. It writes what it
  # resolves into .idata, which binutils 2.44 links read-only: every program
  # is given a writable one again after its link.
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  string(APPEND CMAKE_CXX_LINK_EXECUTABLE " && ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/writable-imports.py <TARGET>")
  set(delay_libraries ${CMAKE_BINARY_DIR}/delay-load)
  file(MAKE_DIRECTORY ${delay_libraries})
  foreach(dll IN LISTS QM_DELAY_LOADED)
    set(def ${CMAKE_SOURCE_DIR}/cmake/delay-load/${dll}.def)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
    execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --output-delaylib ${delay_libraries}/lib${dll}.a
      COMMAND_ERROR_IS_FATAL ANY)
    list(APPEND QM_DELAY_LOADED_LIBRARIES ${delay_libraries}/lib${dll}.a)
  endforeach()
else()
  set(QM_DELAY_LOADED_LIBRARIES ${QM_DELAY_LOADED})
endif()

# The update service's client side. Its tests build the same sources against
# a local service instead of the vendor's.
set(QM_UPDATE_SOURCES update/HttpClient.cpp update/InstallerTrust.cpp update/UpdateCheck.cpp update/UpdateDownloader.cpp)
set(QM_UPDATE_LIBRARIES quillomat_core quillomat_ui ${QM_DELAY_LOADED_LIBRARIES} advapi32 comctl32 shell32 user32)
add_library(quillomat_update STATIC ${QM_UPDATE_SOURCES})
target_compile_options(quillomat_update PRIVATE ${QM_WARNINGS})
target_link_libraries(quillomat_update PUBLIC ${QM_UPDATE_LIBRARIES})

# The application shell, without its entry point, so tests can drive it.
add_library(quillomat_app STATIC
  app/AboutDialog.cpp
  app/Application.cpp
  app/Commands.cpp
  app/MainWindow.cpp
  app/OutputFolder.cpp
  app/RecordingControls.cpp
  app/TrayIcon.cpp
  region/RegionSelector.cpp
  settings/SettingsDialog.cpp
  settings/SettingsStore.cpp
  ui/ButtonImage.cpp
  webcam/WebcamOverlay.cpp
)
target_compile_options(quillomat_app PRIVATE ${QM_WARNINGS})
target_link_libraries(quillomat_app PUBLIC quillomat_engine quillomat_update gdiplus comctl32 shell32 shlwapi shcore strmiids)

# Resources are linked into each program that needs them.
set(QM_RESOURCES ${CMAKE_SOURCE_DIR}/res/Quillomat.rc)

add_executable(Quillomat WIN32 app/Main.cpp ${QM_RESOURCES})
target_compile_options(Quillomat PRIVATE ${QM_WARNINGS})
target_link_libraries(Quillomat PRIVATE quillomat_app)
if(MINGW)
  target_link_options(Quillomat PRIVATE -municode)  # wWinMain
endif()
if(MSVC)
  target_link_options(Quillomat PRIVATE /MANIFEST:NO)  # the resource script brings its own
  list(TRANSFORM QM_DELAY_LOADED REPLACE "(.+)" "/DELAYLOAD:\\1.dll" OUTPUT_VARIABLE delay_options)
  target_link_options(Quillomat PRIVATE ${delay_options})
  target_link_libraries(Quillomat PRIVATE delayimp)
endif()

# The Windows tests run under Wine in the cross build; see tests/. The
# benchmarks and the demonstration build on their support library.
if(CMAKE_CROSSCOMPILING)
  add_subdirectory(tests)
  add_subdirectory(bench)
endif()

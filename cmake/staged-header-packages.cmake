# CLI11 and nlohmann-json are header-only, but the build machine has them
# only in its own /usr/include, which a cross compiler must not search as a
# whole: another library's headers there would shadow the target's. Links
# to just their two directories go into a staged include directory, and the
# targets their packages would define point there.
set(staged ${CMAKE_BINARY_DIR}/staged-headers)
file(MAKE_DIRECTORY ${staged})
foreach(package "CLI11::CLI11;CLI/CLI.hpp" "nlohmann_json::nlohmann_json;nlohmann/json.hpp")
  list(GET package 0 target)
  list(GET package 1 header)
  string(MAKE_C_IDENTIFIER "Q7K_HOST_${target}" var)
  find_path(${var} ${header} NO_CMAKE_FIND_ROOT_PATH REQUIRED
            DOC "The build machine's include directory holding ${header}")
  get_filename_component(dir ${header} DIRECTORY)
  file(CREATE_LINK ${${var}}/${dir} ${staged}/${dir} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${staged})
endforeach()

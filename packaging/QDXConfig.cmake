# find_package(QDX): the imported target QDX::API, libQDX_API with the
# include directory of QDX_API.h and QDX_SIM.h.
include("${CMAKE_CURRENT_LIST_DIR}/QDXTargets.cmake")

// The product's name for the framework, compiled into each target that names itself with
// kopa_product_name() in CMake (see cmake/KopaProduct.cmake), never into the framework library.

#include "plugin/framework/Classes/VEXALog.h"

#ifndef KOPA_PRODUCT_NAME
#error "KOPA_PRODUCT_NAME is not defined: name the target with kopa_product_name(TARGET NAME) in CMake"
#endif

const char* const KOPAProductName = KOPA_PRODUCT_NAME;

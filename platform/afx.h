// The application framework in one include.
#pragma once
#include "cmd_target.h"
#include "data_exchange.h"
#include "dialog.h"
#include "exceptions.h"
#include "message_box.h"
#include "ole_dispatch_driver.h"
#include "ole_app.h"
#include "ole_object_factory.h"
#include "progress_ctrl.h"
#include "win_app.h"
#include "win_thread.h"
#include "wnd.h"

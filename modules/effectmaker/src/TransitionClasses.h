// Every class named in TransitionList.h, for the code that builds them.
#pragma once

#include "TransitionList.h"
#include "Transition_Diagonal.h"
#include "Transition_Fadein.h"
#include "Transition_Move.h"
#include "Transition_Pendulum.h"
#include "Transition_Pixelate.h"
#include "Transition_Swirl.h"
#include "Transition_Zoom.h"
#include "Transition_Cube.h"
#include "Transition_CurlPaper.h"
#include "Transition_Doorway.h"
#include "Transition_Mosaic.h"
#include "Transition_Push.h"
#include "Transition_Swap.h"
#include "Transition_Twist.h"
#include "Transition_ZoomIn.h"

#include "views/CvSumCardPr.h"

int SumCardMaxPrint = 5000;

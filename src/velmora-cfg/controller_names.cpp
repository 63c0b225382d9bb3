#include "velmora-cfg/controller_names.h"

const char* RiskyControllerName(int controller) {
    switch (controller) {
        case 0:
            return "Bank Select (MSB)";
        case 32:
            return "Bank Select (LSB)";
        case 6:
            return "Data Entry (MSB)";
        case 38:
            return "Data Entry (LSB)";
        case 96:
            return "Data Increment";
        case 97:
            return "Data Decrement";
        case 98:
            return "NRPN Number (LSB)";
        case 99:
            return "NRPN Number (MSB)";
        case 100:
            return "RPN Number (LSB)";
        case 101:
            return "RPN Number (MSB)";
        case 64:
            return "Sustain Pedal";
        case 65:
            return "Portamento On/Off";
        case 66:
            return "Sostenuto Pedal";
        case 67:
            return "Soft Pedal";
        case 68:
            return "Legato Footswitch";
        case 69:
            return "Hold 2";
        case 120:
            return "All Sound Off";
        case 121:
            return "Reset All Controllers";
        case 122:
            return "Local Control";
        case 123:
            return "All Notes Off";
        case 124:
            return "Omni Mode Off";
        case 125:
            return "Omni Mode On";
        case 126:
            return "Mono Mode On";
        case 127:
            return "Poly Mode On";
        default:
            return nullptr;
    }
}

const char* StandardPlayingControllerName(int controller) {
    switch (controller) {
        case 1:
            return "Modulation Wheel";
        case 2:
            return "Breath Controller";
        case 4:
            return "Foot Controller";
        case 5:
            return "Portamento Time";
        case 7:
            return "Channel Volume";
        case 8:
            return "Balance";
        case 10:
            return "Pan";
        case 11:
            return "Expression";
        case 84:
            return "Portamento Control";
        default:
            return nullptr;
    }
}

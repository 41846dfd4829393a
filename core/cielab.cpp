#include "core/cielab.h"

#include <cmath>

namespace {
double Linearise(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }

double LabF(double t) { return t > 0.008856 ? std::pow(t, 0.3333333333333333) : 7.787 * t + 16.0 / 116.0; }

double LabFInv(double f) {
  double p = f * f * f;
  return p > 0.008856 ? p : (f - 0.13793103448) / 7.787;
}

uint8_t GammaByte(double c) {
  double v = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 0.41666666667) - 0.055;
  double r = std::nearbyint(v * 255.0);
  if (!(r > 0)) return 0;  // also NaN
  if (r > 255) return 255;
  return uint8_t(r);
}
}  // namespace

TCIELab VXRGB2CIELab(TRGB rgb) {
  double r = Linearise(rgb.r / 255.0);
  double g = Linearise(rgb.g / 255.0);
  double b = Linearise(rgb.b / 255.0);
  double X = (0.412453 * r + 0.35758 * g + 0.180423 * b) / 0.95047;
  double Y = 0.212671 * r + 0.71516 * g + 0.072169 * b;
  double Z = (0.019334 * r + 0.119193 * g + 0.950227 * b) / 1.088883;
  double fx = LabF(X), fy = LabF(Y), fz = LabF(Z);
  double L = Y > 0.008856 ? 116.0 * fy - 16.0 : 903.3 * Y;
  double a = 500.0 * (fx - fy);
  double bb = 200.0 * (fy - fz);
  // Truncated toward zero; only the low 8 bits are kept.
  TCIELab res;
  res.l = uint8_t(int32_t(L * 2.55));
  res.a = int8_t(uint8_t(int32_t(a)));
  res.b = int8_t(uint8_t(int32_t(bb)));
  return res;
}

TRGB VXCIELab2RGB(TCIELab lab) {
  double fy = (lab.l * 0.39215686275 + 16.0) / 116.0;
  double fx = fy + lab.a / 500.0;
  double fz = fy - lab.b / 200.0;
  double X = LabFInv(fx) * 0.95047;
  double Y = LabFInv(fy);
  double Z = LabFInv(fz) * 1.08883;
  double R = 3.2406 * X - 1.5372 * Y - 0.4986 * Z;
  double G = -0.9689 * X + 1.8758 * Y + 0.0415 * Z;
  double B = 0.0557 * X - 0.204 * Y + 1.057 * Z;
  TRGB res;
  res.r = GammaByte(R);
  res.g = GammaByte(G);
  res.b = GammaByte(B);
  return res;
}

bool VXMMXSupported() {
#if defined(__x86_64__) || defined(__i386__)
  // The identification instruction exists when the ID bit of the flags can
  // be toggled.
  unsigned long before, after;
#if defined(__x86_64__)
  // The pushes must not land in the red zone below the stack pointer,
  // where the compiler may keep values of its own.
  __asm__ volatile(
      "leaq -128(%%rsp), %%rsp\n\t"
      "pushfq\n\t"
      "popq %0\n\t"
      "movq %0, %1\n\t"
      "xorq $0x200000, %1\n\t"
      "pushq %1\n\t"
      "popfq\n\t"
      "pushfq\n\t"
      "popq %1\n\t"
      "pushq %0\n\t"
      "popfq\n\t"
      "leaq 128(%%rsp), %%rsp\n\t"
      : "=&r"(before), "=&r"(after)
      :
      : "cc");
#else
  __asm__ volatile(
      "pushfl\n\t"
      "popl %0\n\t"
      "movl %0, %1\n\t"
      "xorl $0x200000, %1\n\t"
      "pushl %1\n\t"
      "popfl\n\t"
      "pushfl\n\t"
      "popl %1\n\t"
      "pushl %0\n\t"
      "popfl\n\t"
      : "=&r"(before), "=&r"(after)
      :
      : "cc");
#endif
  if (((before ^ after) & 0x200000UL) == 0) return false;
  unsigned int eax = 1, ebx = 0, ecx = 0, edx = 0;
  __asm__ volatile("cpuid" : "+a"(eax), "=b"(ebx), "+c"(ecx), "=d"(edx));
  return (edx >> 23) & 1u;
#else
  return false;
#endif
}

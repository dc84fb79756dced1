// SPDX-License-Identifier: MIT
#include "clock_salt.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

// The steps run in sequence, so a value moved by one step may be moved
// again by the next: 12 to 18 end as "A" to "G", 45 as "a".
int fold_salt_char(int r)
{
	if (r < 46)
		r += 46;
	if (r > 57 && r < 65)
		r += 7;
	if (r > 90 && r < 97)
		r += 6;
	if (r > 122)
		r -= 5;
	return r;
}

void generate_salt(char (&buf)[24])
{
	int r1 = 0;
	int r2 = 0;

	// The salt is clock-seeded rand() by design: callers who need an
	// unpredictable salt pass one.
	srand(static_cast<unsigned>(time(nullptr))); // NOLINT(cert-msc32-c,cert-msc51-cpp)
	for (int i = 0; i < 2; i++) {
		int r = rand() & 0x7f; // NOLINT(cert-msc30-c,cert-msc50-cpp)
		r = fold_salt_char(r);
		if (i == 0)
			r1 = r;
		else
			r2 = r;
	}
	// Two characters always fit the 24 bytes.
	(void)snprintf(buf, sizeof buf, "%c%c", r1, r2);
}

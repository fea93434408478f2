# shellcheck shell=sh
# Check helpers of the board's /init scripts (busybox sh), shared by the test
# board (board/init) and the virtual camera (board/camera/init). Sourced
# from /etc/board/checks.sh after RESULTS names the results file.
#
# Every check prints one line, "PASS: name" or "FAIL: name (detail)", and
# adds it to $RESULTS; results_line prints "PREFIX: N passed, M failed".

pass() { echo "PASS: $1" | tee -a "$RESULTS"; }
fail() { echo "FAIL: $1 ($2)" | tee -a "$RESULTS"; }

# check NAME DETAIL-ON-FAILURE COMMAND...
check() {
	name=$1 detail=$2
	shift 2
	if "$@" >/tmp/check.out 2>&1; then
		pass "$name"
	else
		fail "$name" "$detail: $(tr '\n' ' ' </tmp/check.out)"
		return 1
	fi
}

# Runs one group of the guest test program; its own lines go to the results.
run_checks() {
	{ board_check "$1"; echo $? >/tmp/board_check.rc; } | tee -a "$RESULTS"
	rc=$(cat /tmp/board_check.rc)
	if [ "$rc" -ge 128 ]; then
		fail "board_check $1 ran to its end" "killed by signal $((rc - 128))"
	fi
}

# The debug kernel's leak detector: objects no longer referenced from
# anywhere. A scan reports only objects older than 5 s, hence the pause.
kmemleak_clean() {
	sleep 6
	echo scan >/sys/kernel/debug/kmemleak
	leaks=$(cat /sys/kernel/debug/kmemleak)
	[ -z "$leaks" ] || { echo "$leaks" | head -n 40; return 1; }
}

# Warnings, oopses and BUG lines, the debug kernel's reports, and the taint
# they leave. Unsigned, out-of-tree and proprietary modules taint the kernel
# too: those bits pass.
kernel_log_clean() {
	# Any stack dump shows unwind_backtrace on this kernel.
	bad='WARNING:|BUG:|(^|\] )BUG |kernel BUG|Oops|Unable to handle|Internal error|cut here|unwind_backtrace|Kernel panic|refcount_t:|list_(add|del) corruption|UBSAN|sleeping function called|scheduling while atomic|lockup|rcu.*stall|INFO: |ODEBUG|possible (circular|recursive) locking|inconsistent lock state|suspicious RCU|lock held when returning|Redzone|Poison overwritten|Object padding|unreferenced object|suspected memory leak|blocked for more than|hung_task'
	if dmesg | grep -E "$bad"; then
		return 1
	fi
	taint=$(cat /proc/sys/kernel/tainted)
	allowed=$((1 | 4096 | 8192))	# P, O, E
	if [ $((taint & ~allowed)) -ne 0 ]; then
		echo "tainted $taint"
		return 1
	fi
}

# The closing checks after the modules are gone, and the closing line.
finish_checks() {
	if [ -e /sys/kernel/debug/kmemleak ]; then
		check "kmemleak finds no unreferenced object" "leaks" kmemleak_clean
	fi
	check "kernel log free of warnings, oopses and BUG lines" "kernel log" kernel_log_clean
	passed=$(grep -c '^PASS:' "$RESULTS")
	failed=$(grep -c '^FAIL:' "$RESULTS")
	if [ "$failed" -ne 0 ]; then
		echo "--- kernel log"
		dmesg
	fi
	echo "$1: $passed passed, $failed failed"
}

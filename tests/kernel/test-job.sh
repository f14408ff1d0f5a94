# Sourced by the guest's init: the tests with the parallel-port drivers alone,
export GTEST_COLOR=no
# then again with the printer driver loaded beside them.
echo "qel-phase plain begin"
/qel/bin/kernel_port_test
echo "qel-phase plain rc=$?"
insmod /modules/lp.ko || echo "qel-guest: insmod lp failed"
echo "qel-phase printer-driver begin"
QEL_EXPECT_LP=1 /qel/bin/kernel_port_test
echo "qel-phase printer-driver rc=$?"

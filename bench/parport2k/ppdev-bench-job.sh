# Sourced by the guest's init: the ppdev benchmark, ten repetitions interleaved
# at random so that a change in the host's load falls on every benchmark alike.
/qel/bin/parport2k_ppdev_bench --benchmark_repetitions=10 --benchmark_report_aggregates_only=true \
  --benchmark_min_time=0.2 --benchmark_enable_random_interleaving=true --benchmark_format=console --benchmark_color=false
echo "qel-bench rc=$?"
